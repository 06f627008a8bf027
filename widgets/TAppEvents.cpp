#include "TAppEvents.h"

#include "TApplication.h"

TAppEvents::TAppEvents(QObject* owner)
    : TComponent(owner)
{
    Application->OnMinimize = TNotifyEvent(this, &TAppEvents::applicationMinimize);
    Application->OnRestore = TNotifyEvent(this, &TAppEvents::applicationRestore);
}

TAppEvents::~TAppEvents()
{
    if (!Application)
        return;
    if (Application->OnMinimize == TNotifyEvent(this, &TAppEvents::applicationMinimize))
        Application->OnMinimize = {};
    if (Application->OnRestore == TNotifyEvent(this, &TAppEvents::applicationRestore))
        Application->OnRestore = {};
}

void TAppEvents::applicationMinimize(TObject* sender)
{
    OnMinimize(sender);
}

void TAppEvents::applicationRestore(TObject* sender)
{
    OnRestore(sender);
}
