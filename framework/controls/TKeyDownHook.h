#pragma once

#include "core/TEvent.h"

#include <QObject>

class QWidget;

// Sender, virtual-key code (a handler sets it to 0 to keep the key from the
// control) and the modifiers held.
using TKeyEvent = TEvent<TObject*, quint16&, Qt::KeyboardModifiers>;

// The OnKeyDown event of any control: raised for each key press the control
// receives, after the menu's shortcuts have had their chance and before the
// control handles the key.
class TKeyDownHook : public QObject {
    Q_OBJECT

public:
    // The control's event slot, created at first use.
    static TKeyEvent& OnKeyDown(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TKeyDownHook(QWidget* control);

    TKeyEvent m_onKeyDown;
};
