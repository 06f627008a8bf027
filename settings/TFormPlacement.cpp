#include "settings/TFormPlacement.h"

#include "application/TApplication.h"
#include "platform/WindowProcedure.h"
#include "settings/IniStore.h"
#include "settings/PlacementScreens.h"
#include "settings/TIniFile.h"
#include "settings/TPlacementReader.h"
#include "settings/TPlacementWriter.h"
#include "settings/TRegIniFile.h"
#include "settings/TWinMinMaxInfo.h"
#include "settings/TWindowHook.h"

#include <QEvent>

#include <utility>

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
    PlacementScreens::SetWindowsCanBePlacedOverride(canBePlaced);
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
            TPlacementReader(m_store.get(), IniSection(), m_state).RestoreActiveControl(Form());
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
    TForm* form = Form();
    if (!form)
        return;
    TPlacementReader reader(m_store.get(), IniSection(), m_state);
    if (m_options.testFlag(fpPosition))
        reader.ReadNormalRect(form, NormalRect());
    if (m_options.testFlag(fpState))
        reader.ReadWindowState(form, this);
    form->update();
}

void TFormPlacement::WritePlacement()
{
    TForm* form = Form();
    if (!form)
        return;
    if (form->isVisible())
        adjustMaximizedPosition();
    TPlacementWriter writer(m_store.get(), IniSection());
    writer.Write(form, ShowCmd(), NormalRect(), m_state);
    if (m_options.testFlag(fpActiveControl))
        writer.WriteActiveControl(form);
    writer.WriteVisible(m_destroying);
}

int TFormPlacement::ShowCmd() const
{
    const TForm* form = Form();
    if (!form)
        return TPlacementState::ShowNormal;
    if ((Application && Application->MainForm() == form && Application->IsMinimized()) || form->isMinimized())
        return TPlacementState::ShowMinimized;
    return form->isMaximized() ? TPlacementState::ShowMaximized : TPlacementState::ShowNormal;
}

QRect TFormPlacement::NormalRect() const
{
    const TForm* form = Form();
    if (!form)
        return {};
    if (m_state.normalRect.isValid() && form->windowState() != Qt::WindowNoState)
        return m_state.normalRect;
    return QRect(form->pos(), form->size());
}

bool TFormPlacement::eventFilter(QObject* watched, QEvent* event)
{
    TForm* form = Form();
    if (watched == form && m_state.fitAreaOnceFramed && !PlacementScreens::FrameOf(form).isNull())
        PlacementScreens::FitFramedWindow(form, *std::exchange(m_state.fitAreaOnceFramed, std::nullopt));
    if (watched == form && (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        && form->windowState() == Qt::WindowNoState)
        m_state.normalRect = QRect(form->pos(), form->size());
    return false;
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
    m_state.maximizedPosition = maximizedPosition();
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
