#include "settings/TFormPlacement.h"

#include "settings/IniStore.h"
#include "application/TApplication.h"
#include "settings/TIniFile.h"
#include "settings/TRegIniFile.h"
#include "settings/TWinMinMaxInfo.h"
#include "settings/TWindowHook.h"
#include "platform/WindowProcedure.h"

#include <QEvent>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace {

constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int WPF_RESTORETOMAXIMIZED = 2;

int screenPixelsPerInch()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

// The words of a position value, separated by blanks and commas.
QStringList positionWords(const QString& text)
{
    return text.split(QRegularExpression(QStringLiteral("[ ,]")), Qt::SkipEmptyParts);
}

int wordOr(const QStringList& words, int index, int defaultValue)
{
    return index < words.size() ? IniStore::StrToIntDef(words[index], defaultValue) : defaultValue;
}

// The edges of a stored normal rectangle, taken in 64 bits so that no
// stored number overflows. A rectangle without width or height, or one
// beyond any screen's coordinates, is absurd: the window stays as designed.
std::optional<QRect> rectFromEdges(qint64 left, qint64 top, qint64 right, qint64 bottom)
{
    constexpr qint64 Limit = QWIDGETSIZE_MAX;
    const auto isSane = [](qint64 value) { return value >= -Limit && value <= Limit; };
    if (right <= left || bottom <= top || !isSane(left) || !isSane(top) || !isSane(right) || !isSane(bottom)
        || right - left > Limit || bottom - top > Limit)
        return std::nullopt;
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

std::optional<bool> windowsCanBePlacedOverride;

// Where no program may place its windows, only size and state are restored.
bool windowsCanBePlaced()
{
    if (windowsCanBePlacedOverride)
        return *windowsCanBePlacedOverride;
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

// A rectangle saved on a monitor that is gone comes onto the primary screen,
// and one larger than its screen is cut to it, frame included. The rectangle
// is the frame's top left and the inner size, as a window is moved and sized;
// the frame adds its margins. Gives the area that the rectangle had to be
// fitted into, if it had to be.
std::optional<QRect> fitOnScreens(QRect& rect, const QMargins& frame)
{
    const QScreen* target = QGuiApplication::primaryScreen();
    if (!target)
        return std::nullopt;
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
    QRect outer(rect.topLeft(), rect.size() + extra);
    qint64 bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(outer);
        if (qint64(common.width()) * common.height() > bestArea) {
            bestArea = qint64(common.width()) * common.height();
            target = screen;
        }
    }
    const QRect area = target->availableGeometry();
    if (bestArea > 0 && outer.width() <= area.width() && outer.height() <= area.height())
        return std::nullopt;
    outer.setSize(outer.size().boundedTo(area.size()));
    if (bestArea == 0 || !area.contains(outer))
        outer.moveTo(qBound(area.left(), outer.left(), area.right() + 1 - outer.width()),
            qBound(area.top(), outer.top(), area.bottom() + 1 - outer.height()));
    rect = QRect(outer.topLeft(), outer.size() - extra);
    return area;
}

QMargins frameOf(const QWidget* form)
{
    return form->windowHandle() ? form->windowHandle()->frameMargins() : QMargins();
}

} // namespace

// The store of one save or restore: opened with it, freed at its end, also
// when a step raised.
class TFormPlacement::OpenStore {
public:
    explicit OpenStore(TFormPlacement* placement)
        : m_placement(placement)
    {
        m_placement->m_store = m_placement->createStore();
    }
    ~OpenStore() { m_placement->m_store.reset(); }
    OpenStore(const OpenStore&) = delete;
    OpenStore& operator=(const OpenStore&) = delete;

private:
    TFormPlacement* m_placement;
};

void TFormPlacement::SetWindowsCanBePlacedForTesting(std::optional<bool> canBePlaced)
{
    windowsCanBePlacedOverride = canBePlaced;
}

TFormPlacement::TFormPlacement(QObject* owner)
    : TComponent(owner)
    , m_minMaxInfo(new TWinMinMaxInfo(this))
    , m_hook(new TWindowHook(this))
{
    m_hook->AfterMessage = TWindowHook::THookMessageEvent(this, &TFormPlacement::WndMessage);
    if (qobject_cast<TForm*>(owner))
        m_options = TPlacementOptions(fpState | fpPosition);
    m_minMaxInfo->OnChange = [this] { limitsChanged(); };
}

TFormPlacement::~TFormPlacement()
{
    m_store.reset();
    if (!m_formGone)
        m_hook->SetWinControl(nullptr);
    TForm* form = Form();
    if (m_tookOverEvents && form && !m_formGone) {
        form->removeEventFilter(this);
        form->OnShow = m_previousOnShow;
        form->OnCloseQuery = m_previousOnCloseQuery;
        form->OnDestroy = m_previousOnDestroy;
    }
}

QString TFormPlacement::IniFileName() const
{
    if (!m_iniFileName.isEmpty())
        return m_iniFileName;
    return m_useRegistry ? IniStore::DefaultRegistryKey() : IniStore::DefaultIniFileName();
}

// The owner's section is taken once the form is loaded, while its class is
// whole: a save while it is being destroyed would otherwise find the class of
// a base and write into that section.
QString TFormPlacement::IniSection() const
{
    if (!m_iniSection.isEmpty())
        return m_iniSection;
    return m_ownerSection.isEmpty() ? IniStore::DefaultSection(Owner()) : m_ownerSection;
}

void TFormPlacement::SetMinMaxInfo(const TWinMinMaxInfo* info)
{
    if (info)
        m_minMaxInfo->Assign(*info);
}

void TFormPlacement::SetPreventResize(bool prevent)
{
    if (!Form() || prevent == m_preventResize)
        return;
    m_preventResize = prevent;
    adjustMaximizedPosition();
    applyPreventResize();
}

void TFormPlacement::Loaded()
{
    TComponent::Loaded();
    TForm* form = Form();
    if (!form)
        return;
    m_ownerSection = IniStore::DefaultSection(form);
    m_previousOnShow = form->OnShow;
    m_previousOnCloseQuery = form->OnCloseQuery;
    m_previousOnDestroy = form->OnDestroy;
    form->OnShow = TNotifyEvent(this, &TFormPlacement::FormShow);
    form->OnCloseQuery = TForm::TCloseQueryEvent(this, &TFormPlacement::FormCloseQuery);
    form->OnDestroy = TNotifyEvent(this, &TFormPlacement::FormDestroy);
    form->installEventFilter(this);
    m_tookOverEvents = true;
    m_maximizeAllowed = form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint);
    if (m_preventResize)
        applyPreventResize();
    updateHook();
}

void TFormPlacement::FormShow(TObject* sender)
{
    if (m_active)
        guarded(this, [this] { RestoreFormPlacement(); });
    m_previousOnShow(sender);
}

void TFormPlacement::FormCloseQuery(TObject* sender, bool& canClose)
{
    m_previousOnCloseQuery(sender, canClose);
    if (canClose && m_active && Form())
        guarded(this, [this] { SaveFormPlacement(); });
}

void TFormPlacement::FormDestroy(TObject* sender)
{
    if (m_active && !m_saved) {
        m_destroying = true;
        guarded(this, [this] { SaveFormPlacement(); });
        m_destroying = false;
    }
    // Let go of the window while it is still whole.
    m_hook->SetWinControl(nullptr);
    m_formGone = true;
    m_previousOnDestroy(sender);
}

std::unique_ptr<TCustomIniFile> TFormPlacement::createStore() const
{
    if (m_useRegistry)
        return std::make_unique<TRegIniFile>(IniFileName());
    return std::make_unique<TIniFile>(IniFileName());
}

QString TFormPlacement::ReadString(const QString& section, const QString& key, const QString& defaultValue)
{
    if (m_store)
        return IniStore::ReadString(m_store.get(), section, key, defaultValue);
    return IniStore::ReadString(createStore().get(), section, key, defaultValue);
}

void TFormPlacement::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (m_store) {
        IniStore::WriteString(m_store.get(), section, key, value);
        return;
    }
    const std::unique_ptr<TCustomIniFile> store = createStore();
    IniStore::WriteString(store.get(), section, key, value);
    store->UpdateFile();
}

void TFormPlacement::RestoreFormPlacement()
{
    m_saved = false;
    {
        OpenStore store(this);
        ReadPlacement();
        m_restored = true;
        OnRestorePlacement(this);
        if (m_options.testFlag(fpActiveControl) && Form())
            restoreActiveControl(Form());
    }
    adjustMaximizedPosition();
}

void TFormPlacement::SaveFormPlacement()
{
    if (!m_restored && m_active)
        return;
    OpenStore store(this);
    WritePlacement();
    m_store->UpdateFile();
    OnSavePlacement(this);
    m_saved = true;
}

void TFormPlacement::ReadPlacement()
{
    if (TForm* form = Form())
        loadWindowPlacement(form);
}

void TFormPlacement::WritePlacement()
{
    if (TForm* form = Form())
        writeWindowPlacement(form);
}

void TFormPlacement::loadWindowPlacement(TForm* form)
{
    if (m_options.testFlag(fpPosition))
        loadNormalRect(form);
    if (m_options.testFlag(fpState))
        loadWindowState(form);
    form->update();
}

void TFormPlacement::loadNormalRect(TForm* form)
{
    TCustomIniFile* store = m_store.get();
    const QString section = IniSection();
    m_restoreToMaximized = IniStore::ReadInteger(store, section, QStringLiteral("Flags"), 0) & WPF_RESTORETOMAXIMIZED;
    bool found = false;
    const QStringList minMax = positionWords(IniStore::ReadPosStr(store, section, QStringLiteral("MinMaxPos")));
    if (!minMax.isEmpty()) {
        found = true;
        m_minimizedPosition = { wordOr(minMax, 0, 0), wordOr(minMax, 1, 0) };
        m_maximizedPosition = { wordOr(minMax, 2, 0), wordOr(minMax, 3, 0) };
    }
    const QRect current = NormalRect();
    std::optional<QRect> stored = current;
    const QStringList norm = positionWords(IniStore::ReadPosStr(store, section, QStringLiteral("NormPos")));
    if (!norm.isEmpty()) {
        found = true;
        stored = rectFromEdges(wordOr(norm, 0, current.left()), wordOr(norm, 1, current.top()),
            wordOr(norm, 2, current.left() + current.width()), wordOr(norm, 3, current.top() + current.height()));
    }
    found = found && IniStore::ReadInteger(store, section, QStringLiteral("PixelsPerInch"), screenPixelsPerInch()) == screenPixelsPerInch();
    if (!found || !stored)
        return;
    QRect rect = *stored;
    if (windowsCanBePlaced()) {
        const QMargins frame = frameOf(form);
        const std::optional<QRect> area = fitOnScreens(rect, frame);
        // A window not shown yet has no frame: it is fitted again once it has.
        m_fitAreaOnceFramed = frame.isNull() ? area : std::nullopt;
        form->move(rect.topLeft());
    } else {
        rect.moveTo(current.topLeft());
    }
    form->resize(rect.size());
    m_normalRect = rect;
}

void TFormPlacement::loadWindowState(TForm* form)
{
    const int showCmd = IniStore::ReadInteger(m_store.get(), IniSection(), QStringLiteral("ShowCmd"), 0);
    Qt::WindowStates state = Qt::WindowNoState;
    switch (showCmd) {
    case 2:
    case 6:
    case 7:
        // A window minimised from the maximised state comes back maximised
        // when it is restored.
        state = m_restoreToMaximized ? Qt::WindowMinimized | Qt::WindowMaximized : Qt::WindowMinimized;
        break;
    case 3:
        state = Qt::WindowMaximized;
        break;
    default:
        break;
    }
    if (state.testFlag(Qt::WindowMinimized) && Application && Application->MainForm() == form) {
        // The whole program minimises once the message loop runs, with the
        // minimise hand-over that goes with it.
        form->setWindowState((form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | (state & ~Qt::WindowMinimized));
        minimizeApplicationOnceShown(form);
        return;
    }
    form->setWindowState((form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | state);
}

// A window manager ignores a minimise asked for before it has put the window
// on the screen, so the command waits until the window is exposed (or a few
// seconds have passed).
void TFormPlacement::minimizeApplicationOnceShown(TForm* form)
{
    auto* poll = new QTimer(this);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, this, [poll, form = QPointer<TForm>(form), tries = 0]() mutable {
        const bool exposed = form && form->windowHandle() && form->windowHandle()->isExposed();
        if (!exposed && ++tries < 300)
            return;
        poll->deleteLater();
        if (!form || !Application)
            return;
        TMessage message { Messages::WM_SYSCOMMAND, Messages::SC_MINIMIZE, 0, 0 };
        guarded(Application, [&] { Application->WndProc(message); });
    });
    poll->start();
}

int TFormPlacement::ShowCmd() const
{
    const TForm* form = Form();
    if (!form)
        return SW_SHOWNORMAL;
    if ((Application && Application->MainForm() == form && Application->IsMinimized()) || form->isMinimized())
        return SW_SHOWMINIMIZED;
    return form->isMaximized() ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
}

QRect TFormPlacement::NormalRect() const
{
    const TForm* form = Form();
    if (!form)
        return {};
    if (m_normalRect.isValid() && form->windowState() != Qt::WindowNoState)
        return m_normalRect;
    return QRect(form->pos(), form->size());
}

bool TFormPlacement::eventFilter(QObject* watched, QEvent* event)
{
    TForm* form = Form();
    if (watched == form && m_fitAreaOnceFramed && !frameOf(form).isNull())
        fitFramedWindow(form);
    if (watched == form && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        && form->windowState() == Qt::WindowNoState)
        m_normalRect = QRect(form->pos(), form->size());
    return false;
}

// A window fitted onto a screen before the window manager framed it comes
// back whole: the frame too stays inside the area it was fitted into.
void TFormPlacement::fitFramedWindow(TForm* form)
{
    const QRect area = *m_fitAreaOnceFramed;
    m_fitAreaOnceFramed.reset();
    if (form->windowState() != Qt::WindowNoState || area.contains(form->frameGeometry()))
        return;
    const QMargins frame = frameOf(form);
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QSize outer = (form->size() + extra).boundedTo(area.size());
    form->move(qBound(area.left(), form->x(), area.right() + 1 - outer.width()),
        qBound(area.top(), form->y(), area.bottom() + 1 - outer.height()));
    form->resize(outer - extra);
}

void TFormPlacement::writeWindowPlacement(TForm* form)
{
    if (form->isVisible())
        adjustMaximizedPosition();
    TCustomIniFile* store = m_store.get();
    const QString section = IniSection();
    const int showCmd = ShowCmd();
    const int flags = showCmd == SW_SHOWMINIMIZED && form->isMaximized() ? WPF_RESTORETOMAXIMIZED : 0;
    const QRect rect = NormalRect();
    IniStore::WriteInteger(store, section, QStringLiteral("Flags"), flags);
    IniStore::WriteInteger(store, section, QStringLiteral("ShowCmd"), showCmd);
    IniStore::WriteInteger(store, section, QStringLiteral("PixelsPerInch"), screenPixelsPerInch());
    IniStore::WritePosStr(store, section, QStringLiteral("MinMaxPos"), QStringLiteral("%1,%2,%3,%4")
        .arg(m_minimizedPosition.x()).arg(m_minimizedPosition.y()).arg(m_maximizedPosition.x()).arg(m_maximizedPosition.y()));
    IniStore::WritePosStr(store, section, QStringLiteral("NormPos"), QStringLiteral("%1,%2,%3,%4")
        .arg(rect.left()).arg(rect.top()).arg(rect.left() + rect.width()).arg(rect.top() + rect.height()));
    if (m_options.testFlag(fpActiveControl) && form->focusWidget() && store)
        store->WriteString(section, QStringLiteral("ActiveControl"), form->focusWidget()->objectName());
    if (store)
        store->WriteBool(section, QStringLiteral("Visible"), m_destroying);
}

void TFormPlacement::restoreActiveControl(TForm* form)
{
    const QString name = ReadString(IniSection(), QStringLiteral("ActiveControl"), QString());
    if (name.isEmpty())
        return;
    for (QWidget* control : form->findChildren<QWidget*>()) {
        if (control->objectName().compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (control->isEnabledTo(form) && control->isVisibleTo(form) && control->focusPolicy() != Qt::NoFocus)
            control->setFocus();
        return;
    }
}

// A maximised window puts its frame just outside the screen: the maximised
// position is minus the frame's width and height.
QPoint TFormPlacement::maximizedPosition() const
{
    const TForm* form = Form();
    const QRect frame = form->frameGeometry();
    const QRect client = form->geometry();
    return { -(client.left() - frame.left()), -(frame.bottom() - client.bottom()) };
}

void TFormPlacement::adjustMaximizedPosition()
{
    if (!Form() || IsLoading() || m_preventResize || !m_minMaxInfo->IsEmpty())
        return;
    m_maximizedPosition = maximizedPosition();
}

void TFormPlacement::limitsChanged()
{
    adjustMaximizedPosition();
    if (!IsLoading())
        updateHook();
}

void TFormPlacement::applyPreventResize()
{
    TForm* form = Form();
    if (!form)
        return;
    if (m_preventResize)
        m_maximizeAllowed = form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint);
    const bool wasActive = m_active;
    m_active = false;
    const bool maximize = !m_preventResize && m_maximizeAllowed;
    if (form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint) != maximize) {
        const bool visible = form->isVisible();
        form->setWindowFlag(Qt::WindowMaximizeButtonHint, maximize);
        if (visible)
            form->show();
    }
    m_active = wasActive;
    if (!IsLoading())
        updateHook();
}

// The hook watches the form only while there are limits to answer with.
void TFormPlacement::updateHook()
{
    TForm* form = Form();
    m_hook->SetWinControl(form && (m_preventResize || !m_minMaxInfo->IsEmpty()) ? form : nullptr);
    if (form)
        WindowProcedure::UpdateSizeLimits(form);
}

// Runs after the form's own window procedure and never marks a message
// handled. A window that may not be resized keeps its current size.
void TFormPlacement::WndMessage(TObject*, TMessage& message, bool&)
{
    TForm* form = Form();
    if (message.Msg != Messages::WM_GETMINMAXINFO || !form)
        return;
    auto* info = reinterpret_cast<TMinMaxInfo*>(message.LParam);
    if (m_preventResize) {
        if (form->isVisible()) {
            info->minTrackSize = form->size();
            info->maxTrackSize = form->size();
        }
        message.Result = 1;
        return;
    }
    const TWinMinMaxInfo& limits = *m_minMaxInfo;
    if (limits.IsEmpty())
        info->maxPosition = QPoint(0, 0);
    if (limits.MinTrackWidth())
        info->minTrackSize.setWidth(limits.MinTrackWidth());
    if (limits.MinTrackHeight())
        info->minTrackSize.setHeight(limits.MinTrackHeight());
    if (limits.MaxTrackWidth())
        info->maxTrackSize.setWidth(limits.MaxTrackWidth());
    if (limits.MaxTrackHeight())
        info->maxTrackSize.setHeight(limits.MaxTrackHeight());
    if (limits.MaxSizeWidth())
        info->maxSize.setWidth(limits.MaxSizeWidth());
    if (limits.MaxSizeHeight())
        info->maxSize.setHeight(limits.MaxSizeHeight());
    if (limits.MaxPosLeft())
        info->maxPosition.setX(limits.MaxPosLeft());
    if (limits.MaxPosTop())
        info->maxPosition.setY(limits.MaxPosTop());
    message.Result = 1;
}
