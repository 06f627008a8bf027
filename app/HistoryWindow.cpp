#include "app/HistoryWindow.h"

#include "app/HistoryPage.h"
#include "core/ExceptionBoundary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>

namespace {

// Page Up and Page Down move the selection by this many rows.
constexpr int PageRows = 5;

QString cssColor(const QColor& color)
{
    return color.name(QColor::HexRgb);
}

} // namespace

HistoryWindow::HistoryWindow(QWidget* parent, QList<HistoryEntry> entries, Actions actions)
    : QDialog(parent)
    , m_entries(std::move(entries))
    , m_actions(std::move(actions))
{
    setWindowTitle(QStringLiteral("History"));
    setObjectName(QStringLiteral("HistoryWindow"));
    resize(520, 480);
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setAccessibleName(QStringLiteral("Search the history"));
    m_search->installEventFilter(this);
    m_view = new QWebEngineView(this);
    m_view->setAccessibleName(QStringLiteral("Texts handed over"));
    m_view->setPage(HistoryPage::create(m_view));
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    m_clear = new QPushButton(QStringLiteral("Clear history"), this);
    m_clear->setAutoDefault(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_clear, 0, Qt::AlignRight);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) { guarded(this, [&] { search(text); }); });
    connect(m_clear, &QPushButton::clicked, this, [this] { guarded(this, [&] { clearHistory(); }); });
    connect(m_view->page(), &QWebEnginePage::titleChanged, this, [this](const QString& title) { guarded(this, [&] { onTitle(title); }); });
    connect(m_view->page(), &QWebEnginePage::loadFinished, this, [this](bool ok) {
        guarded(this, [&] {
            m_isPageReady = ok;
            if (ok)
                setEntries(m_entries);
        });
    });
    refilter();
    m_search->setFocus();
}

void HistoryWindow::setEntries(QList<HistoryEntry> entries)
{
    m_entries = std::move(entries);
    if (m_isPageReady) {
        const QPalette& colours = palette();
        m_view->page()->setBackgroundColor(colours.color(QPalette::Base));
        m_view->page()->runJavaScript(QStringLiteral("historyList.setPalette('%1', '%2', '%3', '%4')")
                                          .arg(cssColor(colours.color(QPalette::Base)), cssColor(colours.color(QPalette::Text)),
                                              cssColor(colours.color(QPalette::Highlight)), cssColor(colours.color(QPalette::HighlightedText))));
        m_view->page()->runJavaScript(HistoryPage::entriesScript(m_entries));
    }
    refilter();
}

void HistoryWindow::search(const QString& text)
{
    if (m_search->text() != text)
        m_search->setText(text);
    refilter();
}

void HistoryWindow::refilter()
{
    m_shown.clear();
    const QString wanted = m_search->text();
    for (int i = 0; i < m_entries.size(); ++i) {
        if (wanted.isEmpty() || m_entries.at(i).text.contains(wanted, Qt::CaseInsensitive))
            m_shown.append(i);
    }
    m_selected = m_shown.isEmpty() ? -1 : 0;
    m_clear->setEnabled(!m_entries.isEmpty());
    showOnPage();
}

void HistoryWindow::showOnPage()
{
    if (!m_isPageReady)
        return;
    QJsonArray indexes;
    for (int index : m_shown)
        indexes.append(index);
    m_view->page()->runJavaScript(QStringLiteral("historyList.show(%1, %2)")
                                      .arg(QString::fromUtf8(QJsonDocument(indexes).toJson(QJsonDocument::Compact)))
                                      .arg(m_selected));
}

QList<HistoryEntry> HistoryWindow::shownEntries() const
{
    QList<HistoryEntry> shown;
    for (int index : m_shown)
        shown.append(m_entries.at(index));
    return shown;
}

void HistoryWindow::select(int row)
{
    if (m_shown.isEmpty())
        return;
    m_selected = std::clamp(row, 0, int(m_shown.size()) - 1);
    if (m_isPageReady)
        m_view->page()->runJavaScript(QStringLiteral("historyList.select(%1)").arg(m_selected));
}

void HistoryWindow::chooseSelected()
{
    if (m_selected < 0)
        return;
    const QString text = m_entries.at(m_shown.at(m_selected)).text;
    accept();
    if (m_actions.choose)
        m_actions.choose(text);
}

void HistoryWindow::removeSelected()
{
    if (m_selected < 0 || !m_actions.remove)
        return;
    const int row = m_selected;
    setEntries(m_actions.remove(m_entries.at(m_shown.at(row))));
    select(row);
}

void HistoryWindow::clearHistory()
{
    if (m_entries.isEmpty() || !m_actions.clear)
        return;
    if (m_actions.confirmClear && !m_actions.confirmClear())
        return;
    setEntries(m_actions.clear());
}

void HistoryWindow::onTitle(const QString& title)
{
    const QStringList words = title.split(QLatin1Char(' '));
    if (words.size() != 3)
        return;
    const int row = m_shown.indexOf(words.at(1).toInt());
    if (row < 0)
        return;
    select(row);
    m_search->setFocus();
    if (words.at(0) == QLatin1String("pick"))
        chooseSelected();
}

// The search field keeps the keyboard: the keys that move through the list,
// choose and remove act on the list from there.
bool HistoryWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_search || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    bool isHandled = true;
    guarded(this, [&] {
        switch (key->key()) {
        case Qt::Key_Up:
            return select(m_selected - 1);
        case Qt::Key_Down:
            return select(m_selected + 1);
        case Qt::Key_PageUp:
            return select(m_selected - PageRows);
        case Qt::Key_PageDown:
            return select(m_selected + PageRows);
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return chooseSelected();
        case Qt::Key_Delete:
            if (m_search->cursorPosition() == m_search->text().size() && !m_search->hasSelectedText())
                return removeSelected();
            break;
        default:
            break;
        }
        isHandled = false;
    });
    return isHandled || QDialog::eventFilter(watched, event);
}
