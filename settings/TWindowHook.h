#pragma once

#include "core/TComponent.h"
#include "core/TMessage.h"

#include <QPointer>
#include <QWidget>

class TControlHook;

// One subscription to the messages of a windowed control: BeforeMessage sees
// each message before the control's own window procedure and may mark it
// handled; AfterMessage sees it after. Several subscriptions on one control
// share one replacement of its window procedure, which survives the
// re-creation of the control's native window.
class TWindowHook : public TComponent {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(QWidget* WinControl READ WinControl WRITE SetWinControl)

public:
    using THookMessageEvent = TEvent<TObject*, TMessage&, bool&>;

    explicit TWindowHook(QObject* owner);
    ~TWindowHook() override;

    bool Active() const { return m_active; }
    void SetActive(bool active);
    QWidget* WinControl() const;
    void SetWinControl(QWidget* control);

    THookMessageEvent BeforeMessage;
    THookMessageEvent AfterMessage;

    // The message numbers of the hook list's own window.
    static constexpr quint32 CM_RECREATEWINDOW = 0xB052;
    static constexpr quint32 CM_DESTROYHOOK = 0xB053;

protected:
    virtual void DoAfterMessage(TMessage& message, bool& handled);
    virtual void DoBeforeMessage(TMessage& message, bool& handled);

private slots:
    void controlDestroyed();

private:
    friend class TControlHook;

    void hookControl();
    void unhookControl();

    bool m_active = true;
    bool m_destroying = false;
    QPointer<QWidget> m_control;
    TControlHook* m_controlHook = nullptr;
};
