#include "settings/TWindowHook.h"

#include "core/ExceptionBoundary.h"
#include "platform/WindowProcedure.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <vector>

// The shared replacement of one control's window procedure.
class TControlHook {
public:
    TControlHook();
    ~TControlHook();

    void SetControl(QWidget* control);
    void HookControl();
    void UnhookControl();
    void AddSubscriber(TWindowHook* hook);
    void RemoveSubscriber(TWindowHook* hook);
    bool HasSubscribers() const { return !m_subscribers.empty(); }
    QWidget* Control() const { return m_control; }

private:
    void windowProc(QWidget* control, TMessage& message);
    bool canOffer() const;
    void offerBefore(TMessage& message, bool& handled);
    void offerAfter(TMessage& message, bool& handled);

    QPointer<QWidget> m_control;
    TWndProc m_ownProc;
    TWndProc m_previousProc;
    std::vector<TWindowHook*> m_subscribers;
    bool m_destroying = false;
};

namespace {

// Owns the control hooks of the process; its event handler is the hidden
// window that receives the two deferred requests.
class THookList : public QObject {
public:
    static THookList* Instance(bool create)
    {
        if (!s_instance && create && QCoreApplication::instance())
            s_instance = new THookList(QCoreApplication::instance());
        return s_instance;
    }

    ~THookList() override
    {
        while (!m_hooks.empty())
            delete m_hooks.back();
        s_instance = nullptr;
    }

    TControlHook* Find(const QWidget* control) const
    {
        for (TControlHook* hook : m_hooks)
            if (hook->Control() == control)
                return hook;
        return nullptr;
    }
    bool Contains(const TControlHook* hook) const { return std::find(m_hooks.begin(), m_hooks.end(), hook) != m_hooks.end(); }
    void Add(TControlHook* hook) { m_hooks.push_back(hook); }
    void Remove(const TControlHook* hook) { m_hooks.erase(std::remove(m_hooks.begin(), m_hooks.end(), hook), m_hooks.end()); }

    void Post(quint32 msg, TControlHook* hook)
    {
        QCoreApplication::postEvent(this, new MessageEvent(TMessage { msg, 0, reinterpret_cast<qintptr>(hook), 0 }));
    }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != MessageEvent::Type)
            return QObject::event(event);
        const TMessage& message = static_cast<MessageEvent*>(event)->message;
        auto* hook = reinterpret_cast<TControlHook*>(message.LParam);
        guarded(this, [&] {
            if (!Contains(hook))
                return;
            if (message.Msg == TWindowHook::CM_RECREATEWINDOW)
                hook->HookControl();
            else if (message.Msg == TWindowHook::CM_DESTROYHOOK && !hook->HasSubscribers())
                delete hook;
        });
        return true;
    }

private:
    struct MessageEvent : QEvent {
        static inline const QEvent::Type Type = QEvent::Type(QEvent::registerEventType());
        explicit MessageEvent(const TMessage& m)
            : QEvent(Type)
            , message(m)
        {
        }
        TMessage message;
    };

    using QObject::QObject;
    std::vector<TControlHook*> m_hooks;
    static inline THookList* s_instance = nullptr;
};

} // namespace

TControlHook::TControlHook()
    : m_ownProc(std::make_shared<const TWndMethod>([this](QWidget* control, TMessage& message) { windowProc(control, message); }))
{
}

TControlHook::~TControlHook()
{
    m_destroying = true;
    if (THookList* list = THookList::Instance(false))
        list->Remove(this);
    while (!m_subscribers.empty())
        m_subscribers.back()->unhookControl();
    SetControl(nullptr);
}

void TControlHook::SetControl(QWidget* control)
{
    if (control == m_control)
        return;
    UnhookControl();
    m_control = control;
    if (HasSubscribers())
        HookControl();
}

void TControlHook::HookControl()
{
    if (!m_control || m_destroying)
        return;
    const TWndProc current = WindowProcedure::Get(m_control);
    if (current == m_ownProc)
        return;
    m_previousProc = current;
    WindowProcedure::Set(m_control, m_ownProc);
}

// A procedure another party put in front of ours stays; we only forget ours.
void TControlHook::UnhookControl()
{
    if (m_control && m_previousProc && WindowProcedure::Get(m_control) == m_ownProc)
        WindowProcedure::Set(m_control, m_previousProc);
    m_previousProc.reset();
}

void TControlHook::AddSubscriber(TWindowHook* hook)
{
    if (std::find(m_subscribers.begin(), m_subscribers.end(), hook) == m_subscribers.end())
        m_subscribers.push_back(hook);
}

void TControlHook::RemoveSubscriber(TWindowHook* hook)
{
    m_subscribers.erase(std::remove(m_subscribers.begin(), m_subscribers.end(), hook), m_subscribers.end());
}

bool TControlHook::canOffer() const
{
    return HasSubscribers() && m_control && !m_destroying;
}

// The latest subscriber first; a handled flag set after a call ends the
// offering.
void TControlHook::offerBefore(TMessage& message, bool& handled)
{
    if (!canOffer())
        return;
    const std::vector<TWindowHook*> subscribers = m_subscribers;
    for (auto it = subscribers.rbegin(); it != subscribers.rend(); ++it) {
        guarded(*it, [&] { (*it)->DoBeforeMessage(message, handled); });
        if (handled)
            break;
    }
}

void TControlHook::offerAfter(TMessage& message, bool& handled)
{
    if (!canOffer())
        return;
    const std::vector<TWindowHook*> subscribers = m_subscribers;
    for (auto it = subscribers.rbegin(); it != subscribers.rend(); ++it) {
        guarded(*it, [&] { (*it)->DoAfterMessage(message, handled); });
        if (handled)
            break;
    }
}

void TControlHook::windowProc(QWidget* control, TMessage& message)
{
    if (!m_control)
        return;
    bool handled = false;
    if (message.Msg != Messages::WM_QUIT)
        offerBefore(message, handled);
    if (!handled || message.Msg == Messages::WM_DESTROY) {
        try {
            WindowProcedure::Call(m_previousProc, control, message);
        } catch (...) {
            offerAfter(message, handled);
            throw;
        }
        offerAfter(message, handled);
    }
    if (message.Msg == Messages::WM_DESTROY) {
        UnhookControl();
        if (THookList* list = THookList::Instance(false); list && !m_destroying)
            list->Post(TWindowHook::CM_RECREATEWINDOW, this);
    }
}

TWindowHook::TWindowHook(QObject* owner)
    : TComponent(owner)
{
}

TWindowHook::~TWindowHook()
{
    m_destroying = true;
    SetActive(false);
    SetWinControl(nullptr);
}

QWidget* TWindowHook::WinControl() const
{
    return m_controlHook ? m_controlHook->Control() : m_control.data();
}

void TWindowHook::SetActive(bool active)
{
    if (active == m_active)
        return;
    if (active)
        hookControl();
    else
        unhookControl();
}

void TWindowHook::SetWinControl(QWidget* control)
{
    if (control == WinControl())
        return;
    const bool wasActive = m_active;
    TControlHook* left = m_controlHook;
    unhookControl();
    m_control = control;
    if (control)
        connect(control, &QObject::destroyed, this, &TWindowHook::controlDestroyed, Qt::UniqueConnection);
    if (left && !left->HasSubscribers())
        if (THookList* list = THookList::Instance(false))
            list->Post(CM_DESTROYHOOK, left);
    if (wasActive)
        hookControl();
}

// The watched control is gone: the subscription stays, without a control.
void TWindowHook::controlDestroyed()
{
    const bool wasActive = m_active;
    TControlHook* left = m_controlHook;
    unhookControl();
    m_control = nullptr;
    if (left && !left->HasSubscribers())
        if (THookList* list = THookList::Instance(false))
            list->Post(CM_DESTROYHOOK, left);
    m_active = wasActive;
}

void TWindowHook::hookControl()
{
    if (m_control && !m_destroying) {
        THookList* list = THookList::Instance(true);
        TControlHook* hook = list ? list->Find(m_control) : nullptr;
        if (list && !hook) {
            hook = new TControlHook;
            list->Add(hook);
            hook->SetControl(m_control);
        }
        if (hook) {
            hook->AddSubscriber(this);
            m_controlHook = hook;
            hook->HookControl();
        }
    }
    m_active = true;
}

void TWindowHook::unhookControl()
{
    if (m_controlHook) {
        TControlHook* hook = m_controlHook;
        m_controlHook = nullptr;
        hook->RemoveSubscriber(this);
        if (!hook->HasSubscribers())
            hook->UnhookControl();
    }
    m_active = false;
}

void TWindowHook::DoAfterMessage(TMessage& message, bool& handled)
{
    AfterMessage(this, message, handled);
}

void TWindowHook::DoBeforeMessage(TMessage& message, bool& handled)
{
    BeforeMessage(this, message, handled);
}
