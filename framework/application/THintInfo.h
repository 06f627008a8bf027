#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>

class QWidget;

// What a hint about to be shown is about: the control, where the hint goes
// (screen coordinates), its width limit and colour, and the part of the
// control in which the cursor may move without the hint changing.
struct THintInfo {
    QWidget* HintControl = nullptr;
    QPoint HintPos;
    int HintMaxWidth = 0;
    QColor HintColor;
    QRect CursorRect;
    QPoint CursorPos;
};
