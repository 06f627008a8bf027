#include "app/HandOverHistory.h"

#include "app/HistoryWindow.h"
#include "core/ExceptionBoundary.h"

#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <cstdio>

HandOverHistory::HandOverHistory(const QString& fileName, QWidget* window)
    : QObject(window)
    , m_file(fileName)
    , m_window(window)
{
}

void HandOverHistory::checkSoon(int delayMs)
{
    QTimer::singleShot(delayMs, this, [this] { guarded(this, [this] { tell(m_file.read().notice); }); });
}

void HandOverHistory::handedOver(const QString& text)
{
    if (text.isEmpty())
        return;
    tell(m_file.add(text, QDateTime::currentDateTime()).notice);
}

void HandOverHistory::tell(const QString& notice)
{
    if (notice.isEmpty())
        return;
    m_pendingNotice = m_pendingNotice.isEmpty() ? notice : m_pendingNotice + QLatin1Char('\n') + notice;
    if (m_window && m_window->isVisible() && !m_window->isMinimized())
        showPendingNotice();
}

void HandOverHistory::showPendingNotice()
{
    if (m_pendingNotice.isEmpty())
        return;
    const QString notice = std::exchange(m_pendingNotice, QString());
    if (presentNotice)
        return presentNotice(notice);
    if (!m_window) {
        std::fprintf(stderr, "%s\n", qPrintable(notice));
        return;
    }
    // Not modal: the notice never holds up the program.
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("History"), notice, QMessageBox::Ok, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

HistoryWindow* HandOverHistory::showWindow(std::function<void(const QString&)> choose)
{
    if (m_historyWindow && m_historyWindow->isVisible()) {
        m_historyWindow->raise();
        m_historyWindow->activateWindow();
        return m_historyWindow;
    }
    const HistoryFile::Outcome now = m_file.read();
    tell(now.notice);
    HistoryWindow::Actions actions;
    actions.choose = std::move(choose);
    actions.remove = [this](const HistoryEntry& entry) {
        const HistoryFile::Outcome outcome = m_file.remove(entry);
        tell(outcome.notice);
        return outcome.entries;
    };
    actions.clear = [this] {
        const HistoryFile::Outcome outcome = m_file.clear();
        tell(outcome.notice);
        return outcome.entries;
    };
    actions.confirmClear = [this] {
        if (confirmClear)
            return confirmClear();
        return QMessageBox::question(m_historyWindow, QStringLiteral("History"),
                   QStringLiteral("Clear the whole history? This cannot be undone."))
            == QMessageBox::Yes;
    };
    m_historyWindow = new HistoryWindow(m_window, now.entries, std::move(actions));
    m_historyWindow->setAttribute(Qt::WA_DeleteOnClose);
    m_historyWindow->show();
    return m_historyWindow;
}
