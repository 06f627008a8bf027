#include "widgets/DragLine.h"

#include <QGuiApplication>
#include <QPainter>

namespace {

bool canPlaceWindows()
{
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

} // namespace

DragLine::DragLine(QWidget* form)
    : QWidget(form, canPlaceWindows() ? Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus
                                       | Qt::WindowTransparentForInput
                                     : Qt::Widget)
    , m_form(form)
    , m_isWindow(canPlaceWindows())
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("DragLine"));
}

void DragLine::showAt(QPoint screenPoint, int length, int thickness, Qt::Orientation orientation)
{
    m_orientation = orientation;
    const QPoint origin = orientation == Qt::Horizontal ? screenPoint - QPoint(0, thickness / 2)
                                                        : screenPoint - QPoint(thickness / 2, 0);
    const QSize size = orientation == Qt::Horizontal ? QSize(length, thickness) : QSize(thickness, length);
    const QPoint place = m_isWindow || !m_form ? origin : m_form->mapFromGlobal(origin);
    setGeometry(QRect(place, size));
    if (isHidden()) {
        show();
        raise();
    }
}

void DragLine::paintEvent(QPaintEvent*)
{
    constexpr int dash = 4;
    QPainter painter(this);
    const int extent = m_orientation == Qt::Horizontal ? width() : height();
    for (int at = 0; at < extent; at += dash) {
        const QColor color = (at / dash) % 2 == 0 ? Qt::black : Qt::white;
        if (m_orientation == Qt::Horizontal)
            painter.fillRect(at, 0, dash, height(), color);
        else
            painter.fillRect(0, at, width(), dash, color);
    }
}
