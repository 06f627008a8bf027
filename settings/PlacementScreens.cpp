#include "settings/PlacementScreens.h"

#include <QGuiApplication>
#include <QRegion>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

std::optional<bool> windowsCanBePlacedOverride;

QSize marginsSize(const QMargins& frame)
{
    return { frame.left() + frame.right(), frame.top() + frame.bottom() };
}

qint64 areaOf(const QRect& rect)
{
    return qint64(rect.width()) * rect.height();
}

// The area holding the largest part of the outer rectangle, or the primary
// one when no area holds any of it.
QRect targetArea(const QRect& outer, const QList<QRect>& areas, const QRect& primary)
{
    QRect target = primary;
    qint64 best = 0;
    for (const QRect& area : areas) {
        if (areaOf(area.intersected(outer)) > best) {
            best = areaOf(area.intersected(outer));
            target = area;
        }
    }
    return target;
}

bool isWhollyOn(const QRect& outer, const QList<QRect>& areas)
{
    QRegion uncovered(outer);
    for (const QRect& area : areas)
        uncovered -= area;
    return uncovered.isEmpty();
}

} // namespace

int PlacementScreens::PixelsPerInch()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

bool PlacementScreens::WindowsCanBePlaced()
{
    if (windowsCanBePlacedOverride)
        return *windowsCanBePlacedOverride;
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

void PlacementScreens::SetWindowsCanBePlacedOverride(std::optional<bool> canBePlaced)
{
    windowsCanBePlacedOverride = canBePlaced;
}

QMargins PlacementScreens::FrameOf(const QWidget* form)
{
    return form->windowHandle() ? form->windowHandle()->frameMargins() : QMargins();
}

// A rectangle saved on a monitor that is gone comes onto the primary screen,
// one larger than its screen is cut to it, and one partly off the screens
// (a place designed or saved for a larger screen) comes whole onto the one
// that holds most of it, frame included. One that lies whole on the screens
// stays, also where it spans two monitors.
std::optional<QRect> PlacementScreens::FitIntoAreas(
    QRect& rect, const QMargins& frame, const QList<QRect>& areas, const QRect& primary)
{
    const QSize extra = marginsSize(frame);
    QRect outer(rect.topLeft(), rect.size() + extra);
    const QRect area = targetArea(outer, areas, primary);
    if (isWhollyOn(outer, areas) && outer.width() <= area.width() && outer.height() <= area.height())
        return std::nullopt;
    outer.setSize(outer.size().boundedTo(area.size()));
    outer.moveTo(qBound(area.left(), outer.left(), area.right() + 1 - outer.width()),
        qBound(area.top(), outer.top(), area.bottom() + 1 - outer.height()));
    rect = QRect(outer.topLeft(), outer.size() - extra);
    return area;
}

std::optional<QRect> PlacementScreens::FitOnScreens(QRect& rect, const QMargins& frame)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return std::nullopt;
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return FitIntoAreas(rect, frame, areas, primary->availableGeometry());
}

// A window fitted onto a screen before the window manager framed it comes
// back whole: the frame too stays inside the area it was fitted into.
void PlacementScreens::FitFramedWindow(QWidget* form, const QRect& area)
{
    if (form->windowState() != Qt::WindowNoState || area.contains(form->frameGeometry()))
        return;
    const QSize extra = marginsSize(FrameOf(form));
    const QSize outer = (form->size() + extra).boundedTo(area.size());
    form->move(qBound(area.left(), form->x(), area.right() + 1 - outer.width()),
        qBound(area.top(), form->y(), area.bottom() + 1 - outer.height()));
    form->resize(outer - extra);
}
