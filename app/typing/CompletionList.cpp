#include "app/typing/CompletionList.h"

#include "controls/KeyClaims.h"
#include "editor/MemoText.h"
#include "editor/MemoView.h"

#include <QHash>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTextDocument>

namespace {

// How far back from the caret a command's start is looked for.
constexpr int LongestName = 64;
// How much of the text is searched for the user's definitions.
constexpr int DefinitionsReach = 1 << 21;
constexpr int Rows = 8;

QFont glyphFont(int size)
{
    QFont font;
    font.setFamilies({ QStringLiteral("KaTeX_Main"), QStringLiteral("KaTeX_AMS"), QStringLiteral("KaTeX_Size1"),
        QStringLiteral("KaTeX_Math") });
    font.setPixelSize(size);
    return font;
}

} // namespace

CompletionList::CompletionList(MemoView* view)
    : QListWidget(view)
    , m_view(view)
{
    // A window of its own, so the list may reach past the editor's edge; it
    // never takes the focus from the editor.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setObjectName(QStringLiteral("CompletionList"));
    setFocusPolicy(Qt::NoFocus);
    setIconSize(QSize(24, 24));
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(QStringLiteral("Commands"));
    connect(this, &QListWidget::itemClicked, this, [this] { insertCurrent(); });
    // Esc closes an open list and stays Minimize otherwise.
    KeyClaims::claim(view, [this](const QKeyEvent* key) {
        return key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && isVisible();
    });
    hide();
}

QPixmap CompletionList::glyphOf(const QString& glyph, int size)
{
    static QHash<QString, QPixmap> drawn;
    const QString key = glyph + u'/' + QString::number(size);
    if (const auto it = drawn.constFind(key); it != drawn.cend())
        return it.value();
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(glyphFont(size * 3 / 4));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    painter.end();
    drawn.insert(key, pixmap);
    return pixmap;
}

// Where the command before the caret starts (its backslash), or -1.
int CompletionList::commandStart(QString* prefix) const
{
    const QTextCursor cursor = m_view->textCursor();
    if (cursor.hasSelection())
        return -1;
    const int caret = cursor.position();
    const int from = std::max(0, caret - LongestName);
    const QString before = MemoText::read(m_view->document(), from, caret);
    qsizetype i = before.size();
    while (i > 0 && before[i - 1].isLetter() && before[i - 1].unicode() < 128)
        --i;
    if (i == 0 || before[i - 1] != u'\\' || (i >= 2 && before[i - 2] == u'\\'))
        return -1;
    *prefix = before.mid(i);
    return from + int(i) - 1;
}

void CompletionList::update(bool isTyped)
{
    QString prefix;
    const int start = commandStart(&prefix);
    if (start < 0 || (!isVisible() && (!isTyped || prefix.isEmpty()))) {
        hide();
        return;
    }
    if (!isVisible() || start != m_start) {
        // The user's definitions are gathered as the list opens.
        m_commands = TexCommands::installed();
        const QTextDocument* document = m_view->document();
        QString text = MemoText::read(document, 0, std::min(document->characterCount() - 1, DefinitionsReach));
        m_commands.addDefinitions(text.replace(QChar::ParagraphSeparator, u'\n'));
        m_commands.addDefinitions(m_macrosText);
    }
    m_start = start;
    showFor(prefix);
}

void CompletionList::showFor(const QString& prefix)
{
    const QList<TexCommands::Command> candidates = m_commands.candidates(prefix);
    if (candidates.isEmpty()) {
        hide();
        return;
    }
    clear();
    for (const TexCommands::Command& command : candidates) {
        QString label = command.name;
        for (int i = 0; i < command.arguments; ++i)
            label += QStringLiteral("{}");
        auto* item = new QListWidgetItem(label, this);
        item->setData(Qt::UserRole, command.name);
        item->setData(Qt::UserRole + 1, command.arguments);
        if (!command.glyph.isEmpty())
            item->setIcon(glyphOf(command.glyph, iconSize().height()));
    }
    setCurrentRow(0);
    const int rowHeight = std::max(sizeHintForRow(0), iconSize().height());
    const int height = std::min(int(candidates.size()), Rows) * rowHeight + 2 * frameWidth();
    const int width = std::max(180, sizeHintForColumn(0) + 2 * frameWidth() + verticalScrollBar()->sizeHint().width());
    const QRect caret = m_view->cursorRect(MemoText::cursor(m_view->document(), m_start, m_start));
    QPoint at(caret.left(), caret.bottom() + 2);
    at = m_view->viewport()->mapToGlobal(at);
    if (const QScreen* screen = m_view->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.y() + height > area.bottom())
            at.setY(m_view->viewport()->mapToGlobal(caret.topLeft()).y() - height - 2);
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width)));
    }
    setGeometry(QRect(at, QSize(width, height)));
    show();
    raise();
}

void CompletionList::insertCurrent()
{
    QListWidgetItem* item = currentItem();
    if (!item || !m_view)
        return;
    const QString name = item->data(Qt::UserRole).toString();
    const int arguments = item->data(Qt::UserRole + 1).toInt();
    QString text = name;
    for (int i = 0; i < arguments; ++i)
        text += QStringLiteral("{}");
    const int caret = m_view->textCursor().position();
    m_view->setTextCursor(MemoText::cursor(m_view->document(), m_start, caret));
    m_view->insertPlainText(text);
    const int at = m_start + int(name.size()) + (arguments > 0 ? 1 : 0);
    m_view->setTextCursor(MemoText::cursor(m_view->document(), at, at));
    hide();
}

bool CompletionList::takeKey(const QKeyEvent* key)
{
    if (!isVisible())
        return false;
    if (key->modifiers() & ~(Qt::KeypadModifier))
        return false;
    switch (key->key()) {
    case Qt::Key_Escape: hide(); return true;
    case Qt::Key_Up: setCurrentRow(std::max(0, currentRow() - 1)); return true;
    case Qt::Key_Down: setCurrentRow(std::min(count() - 1, currentRow() + 1)); return true;
    case Qt::Key_PageUp: setCurrentRow(std::max(0, currentRow() - Rows)); return true;
    case Qt::Key_PageDown: setCurrentRow(std::min(count() - 1, currentRow() + Rows)); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab: insertCurrent(); return true;
    default: return false;
    }
}
