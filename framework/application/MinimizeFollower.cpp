#include "application/MinimizeFollower.h"

#include "controls/TForm.h"
#include "core/ExceptionBoundary.h"
#include "core/TMessage.h"

#include <QApplication>
#include <QWidget>

MinimizeFollower::MinimizeFollower(TObject* sender, std::function<TForm*()> mainForm,
    std::function<void(TMessage&)> windowProcedure, const TNotifyEvent& onMinimize, const TNotifyEvent& onRestore)
    : m_sender(sender)
    , m_mainForm(std::move(mainForm))
    , m_windowProcedure(std::move(windowProcedure))
    , m_onMinimize(onMinimize)
    , m_onRestore(onRestore)
{
}

void MinimizeFollower::Minimize()
{
    if (m_isHandingOver) {
        m_wantedMinimized = true;
        return;
    }
    if (m_isMinimized)
        return;
    m_isMinimized = true;
    m_focusBeforeMinimize = QApplication::focusWidget();
    if (TForm* form = m_mainForm())
        minimizeMainForm(form);
    handOver(m_onMinimize);
}

void MinimizeFollower::Restore()
{
    if (m_isHandingOver) {
        m_wantedMinimized = false;
        return;
    }
    if (!m_isMinimized)
        return;
    m_isMinimized = false;
    if (TForm* form = m_mainForm())
        restoreMainForm(form);
    if (m_focusBeforeMinimize)
        m_focusBeforeMinimize->setFocus();
    handOver(m_onRestore);
}

void MinimizeFollower::minimizeMainForm(TForm* form)
{
    form->setWindowState(form->windowState() | Qt::WindowMinimized);
}

void MinimizeFollower::restoreMainForm(TForm* form)
{
    form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    form->show();
    form->raise();
    form->activateWindow();
}

// The window manager's minimise and restore of the main window become the
// application's minimise and restore commands, so they notify exactly once.
void MinimizeFollower::FollowMainForm(bool minimized)
{
    if (m_isHandingOver) {
        m_wantedMinimized = minimized;
        return;
    }
    if (minimized == m_isMinimized)
        return;
    TMessage message { Messages::WM_SYSCOMMAND, minimized ? Messages::SC_MINIMIZE : Messages::SC_RESTORE, 0, 0 };
    m_windowProcedure(message);
}

// A hand-over copies or pastes the whole text, which takes a while for a long
// one; the window manager may minimise or restore the window meanwhile. What
// happened is followed afterwards, so that the hand-overs alternate and the
// application ends in the window's real state.
void MinimizeFollower::handOver(const TNotifyEvent& event)
{
    m_wantedMinimized = m_isMinimized;
    m_isHandingOver = true;
    guarded(m_sender, [&] { event(m_sender); });
    m_isHandingOver = false;
    if (m_wantedMinimized != m_isMinimized)
        FollowMainForm(m_wantedMinimized);
}

void MinimizeFollower::Reset()
{
    m_isMinimized = false;
    m_isHandingOver = false;
    m_wantedMinimized = false;
}
