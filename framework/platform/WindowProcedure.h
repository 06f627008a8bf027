#pragma once

#include "core/TMessage.h"

#include <QPoint>
#include <QSize>

#include <functional>
#include <memory>

class QWidget;

// The window procedure of a windowed control: the messages of the program's
// own vocabulary go through it, and another party may put its own procedure in
// front, keeping the previous one to pass messages on. Qt has no event for
// the size-limit question, so the framework asks it (WM_GETMINMAXINFO) when a
// top-level window is shown and when told the limits changed, and applies the
// answer as the window's smallest and largest size. A native window that Qt
// re-creates (after a change of its window flags) is announced as
// WM_DESTROY of the old one.
using TWndMethod = std::function<void(QWidget* control, TMessage& message)>;
// Procedures compare by identity, as entry points do.
using TWndProc = std::shared_ptr<const TWndMethod>;

// The record of WM_GETMINMAXINFO, its address in LParam.
struct TMinMaxInfo {
    QSize maxSize;
    QPoint maxPosition;
    QSize minTrackSize;
    QSize maxTrackSize;
    bool operator==(const TMinMaxInfo&) const = default;
};

namespace WindowProcedure {

// The control's procedure, its default one while no other was set.
TWndProc Get(QWidget* control);
void Set(QWidget* control, const TWndProc& procedure);
// The default procedure: the framework's own answers.
const TWndProc& Default();
// Calls the given procedure, or the default one for none.
void Call(const TWndProc& procedure, QWidget* control, TMessage& message);
// Sends a message through the control's current procedure.
void Send(QWidget* control, TMessage& message);
// Asks a top-level window its size limits and applies them.
void UpdateSizeLimits(QWidget* window);

} // namespace WindowProcedure
