#pragma once

#include "application/TApplication.h"
#include "application/THintInfo.h"

// The handlers a relay component offers for the application object's and the
// screen object's events, and whether an event goes on past it.
class TAppEventSlots {
public:
    virtual ~TAppEventSlots() = default;

    // Whether an event, after this component's handler, goes on to older
    // components and the handler that was in the slot before them.
    bool Chained() const { return m_chained; }
    void SetChained(bool value) { m_chained = value; }

    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TApplication::TExceptionEvent OnException;
    TApplication::TIdleEvent OnIdle;
    TApplication::THelpEvent OnHelp;
    TNotifyEvent OnHint;
    TApplication::TMessageEvent OnMessage;
    TNotifyEvent OnMinimize;
    TNotifyEvent OnRestore;
    TApplication::TShowHintEvent OnShowHint;
    TNotifyEvent OnActiveControlChange;
    TNotifyEvent OnActiveFormChange;

private:
    bool m_chained = true;
};
