#pragma once

#include "app/HistoryText.h"

#include <QDialog>
#include <QList>

#include <functional>

class QLineEdit;
class QPushButton;
class QWebEngineView;

// The History window: the texts handed over, newest first, each with its
// time, its first line and a small typeset preview of its first formula. The
// newest is selected; typing searches; Up, Down, Page Up and Page Down move
// the selection; Enter or a double click puts the selected text into the
// editor; Delete removes the selected entry (while the search field has
// nothing after its cursor); "Clear history" empties it after asking.
class HistoryWindow : public QDialog {
    Q_OBJECT

public:
    struct Actions {
        std::function<void(const QString& text)> choose;
        // Each gives the history as it is afterwards.
        std::function<QList<HistoryEntry>(const HistoryEntry& entry)> remove;
        std::function<QList<HistoryEntry>()> clear;
        // Asks before the history is cleared; true to go on.
        std::function<bool()> confirmClear;
    };

    HistoryWindow(QWidget* parent, QList<HistoryEntry> entries, Actions actions);

    void search(const QString& text);
    // The entries shown, newest first, and the selected one's row among
    // them (-1 when none is shown).
    QList<HistoryEntry> shownEntries() const;
    int selectedRow() const { return m_selected; }
    void select(int row);
    void chooseSelected();
    void removeSelected();
    void clearHistory();
    // True once the page shows the entries with their previews.
    bool isPageReady() const { return m_isPageReady; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setEntries(QList<HistoryEntry> entries);
    void refilter();
    void showOnPage();
    void onTitle(const QString& title);

    QList<HistoryEntry> m_entries;
    QList<int> m_shown; // indexes of m_entries matching the search
    int m_selected = -1;
    Actions m_actions;
    QLineEdit* m_search = nullptr;
    QPushButton* m_clear = nullptr;
    QWebEngineView* m_view = nullptr;
    bool m_isPageReady = false;
};
