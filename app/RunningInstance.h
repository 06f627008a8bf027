#pragma once

#include <QString>

#include <functional>

// Only one copy of the program runs per user. A second start finds the
// running copy through an instance channel named from the main window's class
// and caption, asks it the questions of the single-instance check and has it
// come forward; the running copy answers through these handlers, on its GUI
// thread, from its event loop.
struct RunningInstanceHandlers {
    // The class of the top window of the running copy's owner chain: this
    // program answers "TApplication", the window that owns its main window.
    std::function<QString()> topWindowClass;
    // True when the top window's thread also owns a form designer's window;
    // the running copy is then not taken for one.
    std::function<bool()> hasDesignerWindow;
    std::function<bool()> isMinimized;
    // The system restore command; the second start waits until it is handled.
    std::function<void()> restore;
    // Shows the top window without activating it (and without animation).
    std::function<void()> showWithoutActivation;
    // Shows the top window and puts it in the foreground; only asked when the
    // top window is not an application window.
    std::function<void()> bringForward;
    // Puts the last active pop-up of the top window in the foreground when it
    // is another window that is visible and enabled, otherwise shows it and
    // puts it in the foreground.
    std::function<void()> bringLastActivePopupForward;
};

// The single-instance check, run before anything else is set up. Returns true
// when a running copy was found and asked to come forward: the caller ends
// with exit code 1. Returns false when none runs; this process then holds the
// instance name, atomically, so a copy started at the same moment finds this
// one instead of also running. (Where the name can be neither reached nor
// claimed, e.g. without a writable temp folder, it returns false without the
// claim, as after a failed window search.) Needs no application object.
bool ActivateRunningInstance(const QString& className, const QString& title);

// The instance name this process holds: the same for every copy of one user
// on one display, whichever folder it starts from; empty when it holds none.
QString RunningInstanceName();

// Starts answering second starts, once the main window exists. Needs the name
// claimed by ActivateRunningInstance in this process and an application
// object; the name is held until the application object is destroyed. Calling
// it again replaces the handlers. Returns false when this process holds no
// name or cannot listen on it.
bool ServeRunningInstanceRequests(RunningInstanceHandlers handlers);

// How long a second start waits for a copy that holds the name but does not
// listen yet (10 s unless a test sets another time; 0 or less restores it).
void SetListenerWaitForTesting(qint64 ms);
