#pragma once

#include "app/HistoryFile.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;
class HistoryWindow;

// Keeps every text the program hands over (at a minimise, a close, a
// termination signal) in the history file, and opens the History window.
// What went wrong (a file set aside, a text too large to keep) is told in a
// notice that does not stop the program: at once while the window is shown,
// else when it is next restored.
class HandOverHistory : public QObject {
    Q_OBJECT

public:
    // window is the main window, the notices' and the History window's owner.
    HandOverHistory(const QString& fileName, QWidget* window);

    // Looks at the file a moment after the start, so that a damaged one is
    // set aside and told of without delaying the window.
    void checkSoon(int delayMs);
    // An empty text is never kept (an empty editor hands nothing over).
    void handedOver(const QString& text);
    // Opens the window; a chosen text goes to choose.
    HistoryWindow* showWindow(std::function<void(const QString&)> choose);
    // Shows the notice that waited for the window.
    void showPendingNotice();

    HistoryFile& file() { return m_file; }
    QString pendingNotice() const { return m_pendingNotice; }
    // Tests see the notices here instead of in a box.
    std::function<void(const QString&)> presentNotice;
    // Tests answer the question before the history is cleared here.
    std::function<bool()> confirmClear;

private:
    void tell(const QString& notice);

    HistoryFile m_file;
    QPointer<QWidget> m_window;
    QPointer<HistoryWindow> m_historyWindow;
    QString m_pendingNotice;
};
