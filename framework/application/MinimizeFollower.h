#pragma once

#include "core/TEvent.h"

#include <QPointer>

#include <functional>

class QWidget;
class TForm;
struct TMessage;

// Minimises and restores the whole program with one notification per real
// change, and follows the main window when the window manager minimises or
// restores it.
class MinimizeFollower {
public:
    // The window manager's changes go through the window procedure as
    // minimise and restore commands, so its hooks see them as they see the
    // program's own.
    MinimizeFollower(TObject* sender, std::function<TForm*()> mainForm,
        std::function<void(TMessage&)> windowProcedure, const TNotifyEvent& onMinimize,
        const TNotifyEvent& onRestore);

    void Minimize();
    void Restore();
    bool IsMinimized() const { return m_isMinimized; }
    // The main window reports whether it is really minimised; the program
    // follows with its own minimise or restore. A report or request that comes
    // while a hand-over (OnMinimize, OnRestore) runs is followed once it ends.
    void FollowMainForm(bool minimized);
    // Forgets the state of a previous test.
    void Reset();

private:
    void minimizeMainForm(TForm* form);
    void restoreMainForm(TForm* form);
    void handOver(const TNotifyEvent& event);

    TObject* m_sender;
    std::function<TForm*()> m_mainForm;
    std::function<void(TMessage&)> m_windowProcedure;
    const TNotifyEvent& m_onMinimize;
    const TNotifyEvent& m_onRestore;
    QPointer<QWidget> m_focusBeforeMinimize;
    bool m_isMinimized = false;
    bool m_isHandingOver = false;
    bool m_wantedMinimized = false; // the latest state asked for during a hand-over
};
