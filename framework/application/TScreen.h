#pragma once

#include "core/TEvent.h"

#include <QObject>
#include <QPointer>

class QWidget;
class TForm;

// The screen object: which control has the focus and which form is active,
// with an event for a change of each. Both follow Qt's focus changes; the
// active form stays the last form that had the focus while the program is in
// the background.
class TScreen : public QObject {
    Q_OBJECT

public:
    explicit TScreen(QObject* parent);
    ~TScreen() override;

    QWidget* ActiveControl() const { return m_activeControl; }
    TForm* ActiveForm() const { return m_activeForm; }

    TNotifyEvent OnActiveControlChange;
    TNotifyEvent OnActiveFormChange;

private:
    void focusChanged(QWidget* now);

    QPointer<QWidget> m_activeControl;
    QPointer<TForm> m_activeForm;
};

// The screen object, set while one exists.
extern TScreen* Screen;
