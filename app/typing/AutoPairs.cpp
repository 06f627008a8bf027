#include "app/typing/AutoPairs.h"

#include "editor/MemoText.h"
#include "editor/MemoView.h"

#include <QKeyEvent>
#include <QTextDocument>

namespace {

QChar partnerOf(QChar c)
{
    return c == u'{' ? u'}' : c == u'[' ? u']' : c == u'(' ? u')' : QChar();
}

} // namespace

AutoPairs::AutoPairs(MemoView* view)
    : QObject(view)
    , m_view(view)
{
    connect(view->document(), &QTextDocument::contentsChange, this, &AutoPairs::follow);
}

// The pair moves with edits before it and is forgotten when an edit takes
// either of its characters.
void AutoPairs::follow(int from, int removed, int added)
{
    if (m_partner < 0 || from > m_partner)
        return;
    if (from + removed > m_opening && from <= m_opening) {
        m_opening = m_partner = -1;
        return;
    }
    if (from <= m_partner && from + removed > m_partner) {
        m_opening = m_partner = -1;
        return;
    }
    const int shift = added - removed;
    if (from <= m_opening)
        m_opening += shift;
    m_partner += shift;
}

QChar AutoPairs::characterAt(int position) const
{
    const QString text = MemoText::read(m_view->document(), position, position + 1);
    return text.isEmpty() ? QChar() : text.at(0);
}

bool AutoPairs::takeKey(const QKeyEvent* key)
{
    if (m_view->isReadOnly())
        return false;
    const QTextCursor cursor = m_view->textCursor();
    const int caret = cursor.position();
    const bool isInside = m_partner >= 0 && !cursor.hasSelection() && caret > m_opening && caret <= m_partner;
    if (!isInside)
        m_opening = m_partner = -1;
    const auto mods = key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (key->key() == Qt::Key_Backspace && mods == Qt::NoModifier && isInside && caret == m_opening + 1
        && m_partner == caret) {
        m_view->setTextCursor(MemoText::cursor(m_view->document(), m_opening, m_partner + 1));
        m_view->insertPlainText(QString());
        m_opening = m_partner = -1;
        return true;
    }
    if (mods != Qt::NoModifier || key->text().size() != 1)
        return false;
    const QChar typed = key->text().at(0);
    if (isInside && caret == m_partner && typed == characterAt(caret) && partnerOf(characterAt(m_opening)) == typed) {
        m_view->setTextCursor(MemoText::cursor(m_view->document(), caret + 1, caret + 1));
        m_opening = m_partner = -1;
        return true;
    }
    const QChar partner = partnerOf(typed);
    const QChar next = characterAt(caret);
    const bool isBeforeSpace = next.isNull() || next.isSpace() || next == QChar::ParagraphSeparator;
    if (partner.isNull() || cursor.hasSelection() || !isBeforeSpace)
        return false;
    m_view->insertPlainText(QString(typed) + partner);
    m_view->setTextCursor(MemoText::cursor(m_view->document(), caret + 1, caret + 1));
    m_opening = caret;
    m_partner = caret + 1;
    return true;
}
