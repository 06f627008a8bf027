#pragma once

#include "widgets/TAppEventSlots.h"
#include "core/TComponent.h"

#include <QColor>

// Lets a form handle the application object's and the screen object's events
// as its own, with any number of such components at once (see TAppEventList).
// It also mirrors seven hint and start-up settings of the application object:
// reading one gives the application's current value, writing one sets it.
class TAppEvents : public TComponent, public TAppEventSlots {
    Q_OBJECT
    Q_PROPERTY(bool Chained READ Chained WRITE SetChained)
    Q_PROPERTY(QColor HintColor READ HintColor WRITE SetHintColor)
    Q_PROPERTY(int HintPause READ HintPause WRITE SetHintPause)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)
    Q_PROPERTY(bool UpdateFormatSettings READ UpdateFormatSettings WRITE SetUpdateFormatSettings)
    Q_PROPERTY(int HintShortPause READ HintShortPause WRITE SetHintShortPause)
    Q_PROPERTY(int HintHidePause READ HintHidePause WRITE SetHintHidePause)
    Q_PROPERTY(bool ShowMainForm READ ShowMainForm WRITE SetShowMainForm)

public:
    explicit TAppEvents(QObject* owner);
    ~TAppEvents() override;

    // Copies the seven settings to the application object.
    void Loaded() override;

    QColor HintColor() const;
    void SetHintColor(const QColor& color);
    int HintPause() const;
    void SetHintPause(int ms);
    bool ShowHint() const;
    void SetShowHint(bool value);
    bool UpdateFormatSettings() const;
    void SetUpdateFormatSettings(bool value);
    int HintShortPause() const;
    void SetHintShortPause(int ms);
    int HintHidePause() const;
    void SetHintHidePause(int ms);
    bool ShowMainForm() const;
    void SetShowMainForm(bool value);

    // Raised by this component itself, not relayed.
    TNotifyEvent OnPaintIcon;
    TNotifyEvent OnSettingsChanged;

protected:
    // Paints the minimised program's icon through OnPaintIcon. No paint
    // messages reach a minimised program on the desktops Qt serves, so it
    // only runs where a platform still sends them.
    virtual void PaintIcon();
    virtual void SettingsChanged();
    // Sees every message of the application window first; true when the
    // message is fully handled.
    virtual bool ApplicationWindowHook(TMessage& message);

private:
    void hook(TMessage& message, bool& handled);

    QColor m_hintColor;
    int m_hintPause = 500;
    bool m_showHint = true;
    bool m_updateFormatSettings = true;
    int m_hintShortPause = 50;
    int m_hintHidePause = 2500;
    bool m_showMainForm = true;
};
