#pragma once

#include <functional>

class QKeyEvent;
class QWidget;

// A control may keep a key that the menu also has while it needs the key
// itself (Esc closing a list or a bar it shows). The claims are asked before
// the menu's shortcuts, from the control that gets the key outwards.
namespace KeyClaims {

using Claim = std::function<bool(const QKeyEvent*)>;

// The control's claim, replacing an earlier one; it ends with the control.
void claim(QWidget* control, Claim claim);
// Whether the control that gets a key, or one around it, keeps it.
bool isClaimed(QWidget* receiver, const QKeyEvent* event);

} // namespace KeyClaims
