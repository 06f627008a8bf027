#pragma once

#include "application/THintInfo.h"
#include "core/TEvent.h"

#include <QColor>
#include <QString>

class QPoint;
class QWidget;

// Hints are the controls' tool tips: whether and in which colour they show,
// their pauses, and the hint of the control the mouse last rested on.
class HintDisplay {
public:
    using TShowHintEvent = TEvent<QString& /*HintStr*/, bool& /*CanShow*/, THintInfo&>;

    // The events are the application's: OnHint hears of a new hint with the
    // sender as its argument, OnShowHint may change or refuse one.
    HintDisplay(TObject* sender, const TNotifyEvent& onHint, const TShowHintEvent& onShowHint);

    // An invalid colour stands for the desktop's tool-tip colour.
    QColor Color() const { return m_color; }
    void SetColor(const QColor& color);
    bool IsShown() const { return m_isShown; }
    void SetShown(bool shown);
    int Pause() const { return m_pause; }
    void SetPause(int ms) { m_pause = ms; }
    int ShortPause() const { return m_shortPause; }
    void SetShortPause(int ms) { m_shortPause = ms; }
    int HidePause() const { return m_hidePause; }
    void SetHidePause(int ms) { m_hidePause = ms; }
    // A change raises OnHint.
    QString Hint() const { return m_hint; }
    void SetHint(const QString& hint);

    // Answers a tool-tip request for the control; false when neither it nor
    // an ancestor has a hint to give.
    bool ShowToolTip(QWidget* control, const QPoint& globalPos);

private:
    THintInfo infoFor(QWidget* owner, const QPoint& globalPos) const;

    TObject* m_sender;
    const TNotifyEvent& m_onHint;
    const TShowHintEvent& m_onShowHint;
    QColor m_color;
    bool m_isShown = true;
    int m_pause = 500;
    int m_shortPause = 50;
    int m_hidePause = 2500;
    QString m_hint;
};
