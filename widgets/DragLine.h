#pragma once

#include <QPointer>
#include <QWidget>

// The line that shows where a dragged bar will go. It is a window of its own
// above the form, so showing and moving it repaints nothing of the form's
// controls; it is drawn in short black and white dashes, which show on light
// and dark backgrounds alike. Where top-level windows cannot be placed
// (Wayland) it is a child of the form instead.
class DragLine : public QWidget {
    Q_OBJECT

public:
    explicit DragLine(QWidget* form);

    // A line of the given thickness from the screen point along the given
    // length, across (Qt::Horizontal) or down (Qt::Vertical).
    void showAt(QPoint screenPoint, int length, int thickness, Qt::Orientation orientation);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QWidget> m_form;
    bool m_isWindow = true;
    Qt::Orientation m_orientation = Qt::Horizontal;
};
