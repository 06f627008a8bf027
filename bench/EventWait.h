#pragma once

#include <functional>

// Waiting in the event loop without spinning: the thread sleeps until an
// event comes, and the condition is checked each time the loop has handled
// everything that came.
namespace EventWait {

// Runs the event loop until the condition holds; false after the timeout.
bool until(const std::function<bool()>& condition, int timeoutMs);

// Runs the event loop for this long.
void sleep(int ms);

} // namespace EventWait
