#pragma once

// Marks the stretch in which an object is being destroyed. No event loop may
// run inside it: a message box would let timers and requests reach the object
// while it is half gone, so whatever would show one is put off until every
// destruction has ended (the application object keeps such boxes).
class DestructionScope {
public:
    DestructionScope();
    ~DestructionScope();
    DestructionScope(const DestructionScope&) = delete;
    DestructionScope& operator=(const DestructionScope&) = delete;

    static bool IsActive();
};
