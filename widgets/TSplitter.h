#pragma once

#include "TEvent.h"

#include <QPointer>
#include <QWidget>

// The bar between two controls stacked one above the other. It shows the
// vertical split cursor; dragging it comes with the splitter's own work.
class TSplitter : public QWidget {
    Q_OBJECT

public:
    explicit TSplitter(QWidget* parent);

    QWidget* ControlFirst() const { return m_controlFirst; }
    void SetControlFirst(QWidget* control) { m_controlFirst = control; }
    QWidget* ControlSecond() const { return m_controlSecond; }
    void SetControlSecond(QWidget* control) { m_controlSecond = control; }

    TNotifyEvent OnPosChanged;

private:
    QPointer<QWidget> m_controlFirst;
    QPointer<QWidget> m_controlSecond;
};
