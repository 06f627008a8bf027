#pragma once

#include <QCursor>

// The framework's cursor numbers, as properties store them, and the shapes
// they stand for.
using TCursor = qint16;

inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;

inline Qt::CursorShape CursorShape(TCursor cursor)
{
    switch (cursor) {
    case crNoDrop:
        return Qt::ForbiddenCursor;
    case crHSplit:
        return Qt::SplitHCursor;
    case crVSplit:
        return Qt::SplitVCursor;
    default:
        return Qt::ArrowCursor;
    }
}
