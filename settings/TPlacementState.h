#pragma once

#include <QPoint>
#include <QRect>

#include <optional>

// What a form's placement follows between reading and writing it: the place
// of the normal window while it is maximised or minimised, and what was read
// with it.
struct TPlacementState {
    // The show commands and flags as the settings file keeps them.
    static constexpr int ShowNormal = 1;
    static constexpr int ShowMinimized = 2;
    static constexpr int ShowMaximized = 3;
    static constexpr int RestoreToMaximized = 2;

    // The window's place and size in the normal state, followed while it is
    // in that state: a maximised or minimised window still knows it.
    QRect normalRect;
    QPoint minimizedPosition { -1, -1 };
    QPoint maximizedPosition;
    // Read with the position: whether a minimised window restores to maximised.
    bool restoreToMaximized = false;
    // The screen area a restored window was fitted into before it had a frame.
    std::optional<QRect> fitAreaOnceFramed;
};
