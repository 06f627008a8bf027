#include "application/TApplication.h"

#include "controls/KeyClaims.h"
#include "editor/MemoAccessible.h"
#include "core/DestructionScope.h"
#include "platform/FileNames.h"
#include "application/TScreen.h"
#include "platform/TerminationSignals.h"

#include <QAbstractEventDispatcher>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QSessionManager>
#include <QTimer>
#include <QWidget>

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

} // namespace

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
    , m_messageBoxes(this, [this] { return m_mainForm.data(); })
    , m_exceptionReport(m_messageBoxes, OnException, [this] { return Title(); }, [this] { return ExeName(); })
    , m_hints(this, OnHint, OnShowHint)
    , m_minimizing(this, [this] { return m_mainForm.data(); }, [this](TMessage& message) { WndProc(message); },
          OnMinimize, OnRestore)
{
    Application = this;
    ExceptionBoundary::SetReporter([this](TObject* sender) { HandleException(sender); });
    setQuitOnLastWindowClosed(false);
    m_title = DefaultTitle(ExeName());
    new TScreen(this);
    MemoAccessible::install();
    // Activation is posted, as the desktop reports it; idle is when the loop
    // is about to wait.
    connect(this, &QGuiApplication::applicationStateChanged, this, &TApplication::followApplicationState,
        Qt::QueuedConnection);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TApplication::idle);
}

TApplication::~TApplication()
{
    // The boxes the forms ask for while they go can no longer be shown: the
    // message boxes write them to the error output when they go themselves.
    destroyForms();
    ExceptionBoundary::SetReporter({});
    Application = nullptr;
}

void TApplication::DestroyForms()
{
    destroyForms();
    m_messageBoxes.ShowDeferred();
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
    connect(created, &TForm::minimizedChanged, this,
        [this](bool minimized) { m_minimizing.FollowMainForm(minimized); });
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
    auto* control = static_cast<QWidget*>(receiver);
    auto* form = qobject_cast<TForm*>(control->window());
    // Menu shortcuts are matched before the focused control sees the key,
    // unless the control keeps the key for now.
    return form && !KeyClaims::isClaimed(control, static_cast<QKeyEvent*>(event))
        && form->IsShortCut(static_cast<QKeyEvent*>(event));
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
        // A control without a hint of its own gets the request itself, so a
        // control that shows its own tips (the editor's error marks) can.
        if (event->type() == QEvent::ToolTip && receiver->isWidgetType()
            && m_hints.ShowToolTip(static_cast<QWidget*>(receiver), static_cast<QHelpEvent*>(event)->globalPos()))
            return true;
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
    m_minimizing.Reset();
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
