#include "application/TApplication.h"

#include "core/DestructionScope.h"
#include "platform/FileNames.h"
#include "application/TScreen.h"
#include "platform/TerminationSignals.h"

#include <QAbstractEventDispatcher>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define TAMSEL_HAS_CXXABI 1
#endif
#include <typeinfo>

TApplication* Application = nullptr;

namespace {

bool isRegistrationSwitch(const QString& argument)
{
    if (argument.size() < 2 || (argument[0] != u'-' && argument[0] != u'/'))
        return false;
    const QString rest = argument.mid(1);
    return rest.compare(u"REGSERVER", Qt::CaseInsensitive) == 0
        || rest.compare(u"UNREGSERVER", Qt::CaseInsensitive) == 0;
}

// The class name of the exception being handled, readable where the
// compiler's run-time library can tell it.
QString currentExceptionTypeName()
{
#ifdef TAMSEL_HAS_CXXABI
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type)
        return QStringLiteral("unknown");
    int status = 0;
    char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    const QString name = QString::fromUtf8(status == 0 && demangled ? demangled : type->name());
    std::free(demangled);
    return name;
#else
    return QStringLiteral("unknown");
#endif
}

QMessageBox::Icon iconFor(int flags)
{
    switch (flags & 0xF0) {
    case TApplication::MB_ICONERROR:
        return QMessageBox::Critical;
    case TApplication::MB_ICONWARNING:
        return QMessageBox::Warning;
    case TApplication::MB_ICONINFORMATION:
        return QMessageBox::Information;
    case 0x20:
        return QMessageBox::Question;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    Application = this;
    ExceptionBoundary::SetReporter([this](TObject* sender) { HandleException(sender); });
    setQuitOnLastWindowClosed(false);
    m_title = DefaultTitle(ExeName());
    new TScreen(this);
    // Activation is posted, as the desktop reports it; idle is when the loop
    // is about to wait.
    connect(this, &QGuiApplication::applicationStateChanged, this, &TApplication::followApplicationState,
        Qt::QueuedConnection);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TApplication::idle);
}

TApplication::~TApplication()
{
    destroyForms();
    // No box can be shown any more: what the forms still had to say goes to
    // the error output rather than nowhere.
    for (const DeferredMessageBox& box : m_deferredBoxes)
        qWarning("%s: %s", qUtf8Printable(box.caption), qUtf8Printable(box.text));
    ExceptionBoundary::SetReporter({});
    Application = nullptr;
}

void TApplication::DestroyForms()
{
    destroyForms();
    showDeferredMessageBoxes();
}

void TApplication::destroyForms()
{
    const DestructionScope destruction;
    m_mainForm = nullptr;
    while (!m_forms.empty()) {
        std::unique_ptr<TForm> form = std::move(m_forms.back());
        m_forms.pop_back();
        form->BeforeDestruction();
    }
}

void TApplication::HandleTerminationSignals()
{
    if (m_terminationSignals)
        return;
    m_terminationSignals = new TerminationSignals([this](int) { EndAsExit(); }, this);
    // The desktop session's end: the text and the settings are kept as at
    // Exit, before the session takes the clipboard and the display away.
    connect(this, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { EndAsExit(); });
}

void TApplication::EndAsExit()
{
    if (m_isEndingAsExit || !m_mainForm) {
        Terminate();
        return;
    }
    m_isEndingAsExit = true;
    guarded(this, [this] { m_mainForm->Close(); });
    m_isEndingAsExit = false;
    Terminate();
}

QString TApplication::DefaultTitle(const QString& exeName)
{
    QString name = QFileInfo(exeName).baseName();
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

bool TApplication::Initialize()
{
    const QStringList args = arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (isRegistrationSwitch(args[i]))
            return false;
    }
    return true;
}

void TApplication::SetTitle(const QString& title)
{
    m_title = title;
}

// The executable's link is read directly: the toolkit's own path is empty
// when a folder name is not valid UTF-8, which would turn every file named
// from it into a file of the current folder.
QString TApplication::ExeName() const
{
    if (m_exeName)
        return *m_exeName;
#ifdef Q_OS_LINUX
    return FileNames::LinkTarget();
#else
    return applicationFilePath();
#endif
}

void TApplication::SetExeName(std::optional<QString> path)
{
    m_exeName = std::move(path);
}

void TApplication::adoptForm(std::unique_ptr<TForm> form)
{
    TForm* created = form.get();
    m_forms.push_back(std::move(form));
    // A form deleted by another owner is no longer the application's to delete.
    connect(created, &QObject::destroyed, this, [this, created] {
        for (auto& owned : m_forms) {
            if (owned.get() == created)
                (void)owned.release();
        }
        std::erase(m_forms, nullptr);
    });
    created->AfterConstruction();
    if (m_mainForm)
        return;
    m_mainForm = created;
    created->SetEndsApplication(true);
    connect(created, &TForm::closedAsMainForm, this, &TApplication::Terminate);
    connect(created, &TForm::minimizedChanged, this, &TApplication::followMainFormState);
}

void TApplication::Run()
{
    if (!m_mainForm)
        return;
    m_terminated = false;
    if (m_showMainForm)
        m_mainForm->show();
    if (!m_terminated)
        exec();
}

void TApplication::Terminate()
{
    m_terminated = true;
    quit();
}

void TApplication::Minimize()
{
    if (m_isHandingOver) {
        m_wantedMinimized = true;
        return;
    }
    if (m_isMinimized)
        return;
    m_isMinimized = true;
    m_focusBeforeMinimize = focusWidget();
    if (m_mainForm)
        m_mainForm->setWindowState(m_mainForm->windowState() | Qt::WindowMinimized);
    handOver(OnMinimize);
}

void TApplication::Restore()
{
    if (m_isHandingOver) {
        m_wantedMinimized = false;
        return;
    }
    if (!m_isMinimized)
        return;
    m_isMinimized = false;
    if (m_mainForm) {
        m_mainForm->setWindowState(m_mainForm->windowState() & ~Qt::WindowMinimized);
        m_mainForm->show();
        m_mainForm->raise();
        m_mainForm->activateWindow();
    }
    if (m_focusBeforeMinimize)
        m_focusBeforeMinimize->setFocus();
    handOver(OnRestore);
}

// The window manager's minimise and restore of the main window become the
// application's minimise and restore commands, so they notify exactly once.
void TApplication::followMainFormState(bool minimized)
{
    if (m_isHandingOver) {
        m_wantedMinimized = minimized;
        return;
    }
    if (minimized == m_isMinimized)
        return;
    TMessage message { Messages::WM_SYSCOMMAND, minimized ? Messages::SC_MINIMIZE : Messages::SC_RESTORE, 0, 0 };
    WndProc(message);
}

// A hand-over copies or pastes the whole text, which takes a while for a long
// one; the window manager may minimise or restore the window meanwhile. What
// happened is followed afterwards, so that the hand-overs alternate and the
// application ends in the window's real state.
void TApplication::handOver(TNotifyEvent& event)
{
    m_wantedMinimized = m_isMinimized;
    m_isHandingOver = true;
    guarded(this, [&] { event(this); });
    m_isHandingOver = false;
    if (m_wantedMinimized != m_isMinimized)
        followMainFormState(m_wantedMinimized);
}

void TApplication::SetMessageBoxPresenter(MessageBoxPresenter presenter)
{
    m_presenter = std::move(presenter);
}

int TApplication::MessageBox(const QString& text, const QString& caption, int flags)
{
    if (DestructionScope::IsActive()) {
        // Its event loop would run inside a destruction: the box waits.
        if (m_deferredBoxes.empty())
            QMetaObject::invokeMethod(this, &TApplication::showDeferredMessageBoxes, Qt::QueuedConnection);
        m_deferredBoxes.push_back({ text, caption, flags });
        return IDOK;
    }
    // A modal box keeps dispatching messages, so timers tick behind it.
    return m_presenter ? m_presenter(text, caption, flags) : presentMessageBox(text, caption, flags);
}

void TApplication::showDeferredMessageBoxes()
{
    if (DestructionScope::IsActive())
        return;
    while (!m_deferredBoxes.empty()) {
        const DeferredMessageBox box = m_deferredBoxes.front();
        m_deferredBoxes.erase(m_deferredBoxes.begin());
        MessageBox(box.text, box.caption, box.flags);
    }
}

int TApplication::presentMessageBox(const QString& text, const QString& caption, int flags)
{
    QWidget* previouslyActive = activeWindow();
    const bool ownerless = (flags & MB_TASKMODAL) != 0;
    QMessageBox box(iconFor(flags), caption, text, QMessageBox::Ok,
        ownerless ? nullptr : static_cast<QWidget*>(m_mainForm.data()));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (previouslyActive)
        previouslyActive->activateWindow();
    return IDOK;
}

void TApplication::HandleException(TObject* sender)
{
    const std::exception_ptr current = std::current_exception();
    if (!current)
        return; // called outside a catch block: nothing to report
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    try {
        std::rethrow_exception(current);
    } catch (const EAbort&) {
        // The silent exception.
    } catch (const Exception& e) {
        if (OnException)
            OnException(sender, e);
        else
            ShowException(e);
    } catch (...) {
        showLowLevelReport(currentExceptionTypeName());
    }
}

void TApplication::showLowLevelReport(const QString& className)
{
    // Where the exception was raised is not known here: the address stays 0.
    const QString text = QStringLiteral("Exception %1 in module %2 at %3.\n")
                             .arg(className, FileNames::ExtractFileName(ExeName()),
                                 QStringLiteral("00000000"));
    MessageBox(text, QStringLiteral("Application Error"), MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

void TApplication::ShowException(const Exception& e)
{
    MessageBox(e.Message() + u'.', Title(), MB_OK | MB_ICONERROR);
}

void TApplication::HookMainWindow(const TMessageHook& hook)
{
    m_hooks.push_back(hook);
}

void TApplication::UnhookMainWindow(const TMessageHook& hook)
{
    const auto it = std::find(m_hooks.begin(), m_hooks.end(), hook);
    if (it != m_hooks.end())
        m_hooks.erase(it);
}

void TApplication::WndProc(TMessage& message)
{
    guarded(this, [&] {
        // A hook may unhook itself while it runs, so walk a copy.
        const auto hooks = m_hooks;
        for (const TMessageHook& hook : hooks) {
            bool handled = false;
            hook(message, handled);
            if (handled)
                return;
        }
        applyWindowCommand(message);
    });
}

void TApplication::applyWindowCommand(TMessage& message)
{
    using namespace Messages;
    switch (message.Msg) {
    case WM_SYSCOMMAND:
        if ((message.WParam & 0xFFF0) == SC_MINIMIZE)
            Minimize();
        else if ((message.WParam & 0xFFF0) == SC_RESTORE)
            Restore();
        break;
    case WM_QUERYENDSESSION:
        message.Result = (m_mainForm && !m_mainForm->CloseQuery()) ? 0 : 1;
        break;
    default:
        break;
    }
}

// Keys also come to the web view's own items, whose classes are built
// without type information; the undefined-behaviour sanitizer's type check
// cannot tell such an object from a damaged one, so it is left out here.
__attribute__((no_sanitize("vptr"))) bool TApplication::offerKeyToMenu(QObject* receiver, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !receiver->isWidgetType())
        return false;
    auto* form = qobject_cast<TForm*>(static_cast<QWidget*>(receiver)->window());
    // Menu shortcuts are matched before the focused control sees the key.
    return form && form->IsShortCut(static_cast<QKeyEvent*>(event));
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    // The last guard: no exception unwinds through Qt's event dispatch.
    try {
        if (OnMessage) {
            TMsg message { receiver, event };
            bool handled = false;
            OnMessage(message, handled);
            if (handled)
                return true;
        }
        if (offerKeyToMenu(receiver, event))
            return true;
        if (event->type() == QEvent::ToolTip && receiver->isWidgetType())
            return showToolTip(static_cast<QWidget*>(receiver), static_cast<QHelpEvent*>(event)->globalPos());
        noteSettingsChange(receiver, event);
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(receiver);
        return false;
    }
}

void TApplication::followApplicationState(Qt::ApplicationState state)
{
    const bool isActive = state == Qt::ApplicationActive;
    if (isActive == m_isActive)
        return;
    m_isActive = isActive;
    guarded(this, [&] {
        if (isActive)
            OnActivate(this);
        else
            OnDeactivate(this);
    });
}

// A handler that is not done yet is called again before the loop waits.
void TApplication::idle()
{
    if (!OnIdle)
        return;
    bool done = true;
    guarded(this, [&] { OnIdle(this, done); });
    if (!done)
        QAbstractEventDispatcher::instance()->wakeUp();
}

bool TApplication::HelpCommand(quint16 command, qint32 data)
{
    bool callHelp = true;
    bool result = false;
    OnHelp(command, data, callHelp, result);
    return result;
}

void TApplication::SetHint(const QString& hint)
{
    if (hint == m_hint)
        return;
    m_hint = hint;
    OnHint(this);
}

void TApplication::SetShowHint(bool showHint)
{
    if (showHint == m_showHint)
        return;
    m_showHint = showHint;
    if (!showHint)
        QToolTip::hideText();
}

void TApplication::SetHintColor(const QColor& color)
{
    static const QPalette desktopPalette = QToolTip::palette();
    m_hintColor = color;
    QPalette palette = desktopPalette;
    if (color.isValid())
        palette.setColor(QPalette::ToolTipBase, color);
    QToolTip::setPalette(palette);
}

// The tool tip of the control or its nearest ancestor that has one, offered
// to OnShowHint first; with hints off none is shown.
bool TApplication::showToolTip(QWidget* control, const QPoint& globalPos)
{
    if (!m_showHint) {
        QToolTip::hideText();
        return true;
    }
    QWidget* owner = control;
    while (owner && owner->toolTip().isEmpty() && !owner->isWindow())
        owner = owner->parentWidget();
    if (!owner || owner->toolTip().isEmpty())
        return false;
    QString text = owner->toolTip();
    SetHint(text);
    THintInfo info;
    info.HintControl = owner;
    info.HintPos = globalPos;
    info.HintColor = m_hintColor;
    info.CursorRect = owner->rect();
    info.CursorPos = owner->mapFromGlobal(globalPos);
    bool canShow = true;
    OnShowHint(text, canShow, info);
    if (!canShow || text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(info.HintPos, text, owner, info.CursorRect);
    return true;
}

// A change of the desktop's theme, palette or font reaches the application
// window as one settings-change message, however many events it comes as.
void TApplication::noteSettingsChange(QObject* receiver, const QEvent* event)
{
    const bool isSettingsChange = (receiver == this
                                      && (event->type() == QEvent::ApplicationPaletteChange
                                          || event->type() == QEvent::ApplicationFontChange))
        || (event->type() == QEvent::ThemeChange && receiver == m_mainForm);
    if (!isSettingsChange || m_isSettingsChangePending)
        return;
    m_isSettingsChangePending = true;
    QTimer::singleShot(0, this, [this] {
        m_isSettingsChangePending = false;
        TMessage message { Messages::WM_WININICHANGE, 0, 0, 0 };
        WndProc(message);
    });
}

void TApplication::ResetForTesting()
{
    for (auto& form : m_forms)
        form->hide();
    DestroyForms();
    m_isMinimized = false;
    m_isHandingOver = false;
    m_wantedMinimized = false;
    m_terminated = false;
    m_hooks.clear();
    OnActivate = {};
    OnDeactivate = {};
    OnException = {};
    OnIdle = {};
    OnHelp = {};
    OnHint = {};
    OnMessage = {};
    OnMinimize = {};
    OnRestore = {};
    OnShowHint = {};
}
