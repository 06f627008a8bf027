#pragma once

#include "widgets/TAppEventSlots.h"

#include <QList>

// The one list of the process's relay components (TAppEvents). While it holds at
// least one, its relays sit in the application object's and the screen
// object's event slots and pass each event on to the components, newest
// first; a component that is not Chained ends the walk after its own handler,
// and only a walk that passes the oldest component reaches the handler that
// was in the slot before the first component came.
class TAppEventList {
public:
    ~TAppEventList();

    // The process's list; Ensure creates it.
    static TAppEventList* Instance();
    static TAppEventList& Ensure();

    // The first component installs the relays, saving what the slots hold.
    void Register(TAppEventSlots* component);
    // Removing the last component leaves every slot empty.
    void Remove(TAppEventSlots* component);

    const QList<TAppEventSlots*>& Components() const { return m_components; }

private:
    TAppEventList() = default;
    void installRelays();
    void clearSlots();
    // The components from the newest to the oldest.
    QList<TAppEventSlots*> newestFirst() const;
    // A handler may destroy a component while a walk runs.
    bool isRegistered(const TAppEventSlots* component) const { return m_components.contains(component); }
    void relayNotify(TNotifyEvent TAppEventSlots::*event, const TNotifyEvent& previous, TObject* sender);

    void relayActivate(TObject* sender);
    void relayDeactivate(TObject* sender);
    void relayException(TObject* sender, const Exception& e);
    void relayIdle(TObject* sender, bool& done);
    void relayHelp(quint16 command, qint32 data, bool& callHelp, bool& result);
    void relayHint(TObject* sender);
    void relayMessage(TMsg& message, bool& handled);
    void relayMinimize(TObject* sender);
    void relayRestore(TObject* sender);
    void relayShowHint(QString& hintStr, bool& canShow, THintInfo& hintInfo);
    void relayActiveControlChange(TObject* sender);
    void relayActiveFormChange(TObject* sender);

    QList<TAppEventSlots*> m_components;
    bool m_isHooked = false;
    TNotifyEvent m_previousActivate;
    TNotifyEvent m_previousDeactivate;
    TApplication::TExceptionEvent m_previousException;
    TApplication::TIdleEvent m_previousIdle;
    TApplication::THelpEvent m_previousHelp;
    TNotifyEvent m_previousHint;
    TApplication::TMessageEvent m_previousMessage;
    TNotifyEvent m_previousMinimize;
    TNotifyEvent m_previousRestore;
    TApplication::TShowHintEvent m_previousShowHint;
    TNotifyEvent m_previousActiveControlChange;
    TNotifyEvent m_previousActiveFormChange;
};
