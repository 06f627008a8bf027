#pragma once

#include "TComponent.h"

// Passes the application object's minimise and restore notifications on to
// this component's handlers.
class TAppEvents : public TComponent {
    Q_OBJECT

public:
    explicit TAppEvents(QObject* owner);
    ~TAppEvents() override;

    TNotifyEvent OnMinimize;
    TNotifyEvent OnRestore;

private:
    void applicationMinimize(TObject* sender);
    void applicationRestore(TObject* sender);
};
