#include "widgets/TAppEventList.h"

#include "application/TScreen.h"

#include <algorithm>
#include <memory>

namespace {

std::unique_ptr<TAppEventList>& theList()
{
    static std::unique_ptr<TAppEventList> list;
    return list;
}

} // namespace

TAppEventList::~TAppEventList()
{
    if (m_components.isEmpty())
        return;
    m_components.clear();
    clearSlots();
}

TAppEventList* TAppEventList::Instance()
{
    return theList().get();
}

TAppEventList& TAppEventList::Ensure()
{
    if (!theList())
        theList().reset(new TAppEventList);
    return *theList();
}

void TAppEventList::Register(TAppEventSlots* component)
{
    if (!component || m_components.contains(component))
        return;
    m_components.append(component);
    if (m_components.size() == 1)
        installRelays();
}

void TAppEventList::Remove(TAppEventSlots* component)
{
    m_components.removeOne(component);
    if (m_components.isEmpty())
        clearSlots();
}

void TAppEventList::installRelays()
{
    if (!Application)
        return;
    TApplication& app = *Application;
    m_previousActivate = std::exchange(app.OnActivate, TNotifyEvent(this, &TAppEventList::relayActivate));
    m_previousDeactivate = std::exchange(app.OnDeactivate, TNotifyEvent(this, &TAppEventList::relayDeactivate));
    m_previousException = std::exchange(app.OnException, TApplication::TExceptionEvent(this, &TAppEventList::relayException));
    m_previousIdle = std::exchange(app.OnIdle, TApplication::TIdleEvent(this, &TAppEventList::relayIdle));
    m_previousHelp = std::exchange(app.OnHelp, TApplication::THelpEvent(this, &TAppEventList::relayHelp));
    m_previousHint = std::exchange(app.OnHint, TNotifyEvent(this, &TAppEventList::relayHint));
    m_previousMessage = std::exchange(app.OnMessage, TApplication::TMessageEvent(this, &TAppEventList::relayMessage));
    m_previousMinimize = std::exchange(app.OnMinimize, TNotifyEvent(this, &TAppEventList::relayMinimize));
    m_previousRestore = std::exchange(app.OnRestore, TNotifyEvent(this, &TAppEventList::relayRestore));
    m_previousShowHint = std::exchange(app.OnShowHint, TApplication::TShowHintEvent(this, &TAppEventList::relayShowHint));
    if (Screen) {
        m_previousActiveControlChange = std::exchange(Screen->OnActiveControlChange,
            TNotifyEvent(this, &TAppEventList::relayActiveControlChange));
        m_previousActiveFormChange = std::exchange(Screen->OnActiveFormChange,
            TNotifyEvent(this, &TAppEventList::relayActiveFormChange));
    }
    m_isHooked = true;
}

// The handlers saved at the first registration are not put back.
void TAppEventList::clearSlots()
{
    if (!m_isHooked || !Application)
        return;
    TApplication& app = *Application;
    app.OnActivate = {};
    app.OnDeactivate = {};
    app.OnException = {};
    app.OnIdle = {};
    app.OnHelp = {};
    app.OnHint = {};
    app.OnMessage = {};
    app.OnMinimize = {};
    app.OnRestore = {};
    app.OnShowHint = {};
    if (Screen) {
        Screen->OnActiveControlChange = {};
        Screen->OnActiveFormChange = {};
    }
}

QList<TAppEventSlots*> TAppEventList::newestFirst() const
{
    QList<TAppEventSlots*> components;
    components.reserve(m_components.size());
    for (auto it = m_components.crbegin(); it != m_components.crend(); ++it)
        components.append(*it);
    return components;
}

void TAppEventList::relayNotify(TNotifyEvent TAppEventSlots::*event, const TNotifyEvent& previous, TObject* sender)
{
    for (TAppEventSlots* component : newestFirst()) {
        if (!isRegistered(component))
            continue;
        (component->*event)(sender);
        if (isRegistered(component) && !component->Chained())
            return;
    }
    previous(sender);
}

void TAppEventList::relayActivate(TObject* sender)
{
    relayNotify(&TAppEventSlots::OnActivate, m_previousActivate, sender);
}

void TAppEventList::relayDeactivate(TObject* sender)
{
    relayNotify(&TAppEventSlots::OnDeactivate, m_previousDeactivate, sender);
}

void TAppEventList::relayHint(TObject* sender)
{
    relayNotify(&TAppEventSlots::OnHint, m_previousHint, sender);
}

void TAppEventList::relayMinimize(TObject* sender)
{
    relayNotify(&TAppEventSlots::OnMinimize, m_previousMinimize, sender);
}

void TAppEventList::relayRestore(TObject* sender)
{
    relayNotify(&TAppEventSlots::OnRestore, m_previousRestore, sender);
}

void TAppEventList::relayActiveControlChange(TObject* sender)
{
    relayNotify(&TAppEventSlots::OnActiveControlChange, m_previousActiveControlChange, sender);
}

void TAppEventList::relayActiveFormChange(TObject* sender)
{
    relayNotify(&TAppEventSlots::OnActiveFormChange, m_previousActiveFormChange, sender);
}

// An exception that reaches the relay is always handled by some handler or
// shown.
void TAppEventList::relayException(TObject* sender, const Exception& e)
{
    bool isHandled = false;
    for (TAppEventSlots* component : newestFirst()) {
        if (!isRegistered(component))
            continue;
        if (component->OnException) {
            component->OnException(sender, e);
            isHandled = true;
        }
        if (isRegistered(component) && !component->Chained()) {
            if (!isHandled && Application)
                Application->ShowException(e);
            return;
        }
    }
    if (m_previousException) {
        m_previousException(sender, e);
        isHandled = true;
    }
    if (!isHandled && Application)
        Application->ShowException(e);
}

void TAppEventList::relayIdle(TObject* sender, bool& done)
{
    for (TAppEventSlots* component : newestFirst()) {
        if (!isRegistered(component))
            continue;
        component->OnIdle(sender, done);
        if (isRegistered(component) && !component->Chained())
            return;
    }
    m_previousIdle(sender, done);
}

void TAppEventList::relayHelp(quint16 command, qint32 data, bool& callHelp, bool& result)
{
    bool relayed = false;
    for (TAppEventSlots* component : newestFirst()) {
        if (!isRegistered(component))
            continue;
        if (component->OnHelp) {
            bool answer = false;
            component->OnHelp(command, data, callHelp, answer);
            relayed = answer;
        }
        if (isRegistered(component) && !component->Chained()) {
            result = relayed;
            return;
        }
    }
    if (m_previousHelp) {
        bool answer = false;
        m_previousHelp(command, data, callHelp, answer);
        relayed = answer;
    }
    result = relayed;
}

void TAppEventList::relayMessage(TMsg& message, bool& handled)
{
    // Every event of the program passes here: with no handler anywhere there
    // is nothing to walk.
    const bool hasHandler = std::any_of(m_components.cbegin(), m_components.cend(),
        [](const TAppEventSlots* component) { return static_cast<bool>(component->OnMessage); });
    if (!hasHandler && !m_previousMessage)
        return;
    for (TAppEventSlots* component : newestFirst()) {
        if (!isRegistered(component))
            continue;
        component->OnMessage(message, handled);
        if ((isRegistered(component) && !component->Chained()) || handled)
            return;
    }
    m_previousMessage(message, handled);
}

void TAppEventList::relayShowHint(QString& hintStr, bool& canShow, THintInfo& hintInfo)
{
    for (TAppEventSlots* component : newestFirst()) {
        if (!isRegistered(component))
            continue;
        component->OnShowHint(hintStr, canShow, hintInfo);
        if (isRegistered(component) && !component->Chained())
            return;
    }
    m_previousShowHint(hintStr, canShow, hintInfo);
}
