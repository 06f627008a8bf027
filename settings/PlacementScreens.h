#pragma once

#include <QList>
#include <QMargins>
#include <QRect>

#include <optional>

class QWidget;

// The screens as a form's placement sees them: the density the settings are
// kept for, whether windows may be placed at all, and the fitting of a
// window onto the screens' available areas.
namespace PlacementScreens {
// The primary screen's logical dots per inch.
int PixelsPerInch();

// Where no program may place its windows (Wayland), only size and state are
// restored. The override is a test seam; none asks the platform.
bool WindowsCanBePlaced();
void SetWindowsCanBePlacedOverride(std::optional<bool> canBePlaced);

// The margins the window manager's frame adds around the form; none before
// the form is shown.
QMargins FrameOf(const QWidget* form);

// Fits a rectangle (the frame's top left and the inner size, as a window is
// moved and sized; the frame adds its margins) onto the available areas of
// the screens, the primary one standing in when it is on none. Gives the
// area that the rectangle had to be fitted into, if it had to be.
std::optional<QRect> FitIntoAreas(QRect& rect, const QMargins& frame, const QList<QRect>& areas, const QRect& primary);
// The same onto the screens this program shows its windows on.
std::optional<QRect> FitOnScreens(QRect& rect, const QMargins& frame);

// Moves and cuts a shown form so that it lies inside the area, frame included.
void FitFramedWindow(QWidget* form, const QRect& area);
} // namespace PlacementScreens
