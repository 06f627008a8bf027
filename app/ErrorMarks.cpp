#include "app/ErrorMarks.h"

#include "app/EditorText.h"
#include "editor/MemoText.h"
#include "core/ExceptionBoundary.h"

#include <QHelpEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolTip>

#include <algorithm>

namespace {

QTextEdit::ExtraSelection selection(QTextDocument* document, qsizetype from, qsizetype to, const QTextCharFormat& format)
{
    QTextEdit::ExtraSelection mark;
    mark.cursor = MemoText::cursor(document, int(from), int(to));
    mark.format = format;
    return mark;
}

// Marks are drawn this far at least before and after what the editor shows.
constexpr qsizetype MinimumMarkedMargin = 20000;

QTextCharFormat formulaFormat()
{
    QTextCharFormat format;
    format.setBackground(QColor(255, 0, 0, 28));
    return format;
}

QTextCharFormat errorFormat()
{
    QTextCharFormat format;
    format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    format.setUnderlineColor(Qt::red);
    return format;
}

} // namespace

ErrorMarks::ErrorMarks(TMemo* editor)
    : QObject(editor)
    , m_editor(editor)
{
    connect(editor->document(), &QTextDocument::contentsChange, this,
        [this](int position, int removed, int added) { guarded(this, [&] { onContentsChange(position, removed, added); }); });
    editor->viewport()->installEventFilter(this);
    // The editor says when it scrolled, up, down or sideways in a long line.
    connect(editor, &TMemo::updateRequest, this, [this](const QRect&, int) {
        guarded(this, [this] { drawIfScrolledAway(); });
    });
}

void ErrorMarks::show(const QString& shownText, const QList<FormulaError>& errors)
{
    const QString text = EditorText::of(*m_editor->document());
    const qsizetype unchanged = EditorText::sharedPrefix(text, shownText);
    m_errors.clear();
    for (const FormulaError& error : errors) {
        if (error.reach <= unchanged && error.end <= text.size())
            m_errors.append(error);
    }
    draw();
}

QString ErrorMarks::messageAt(qsizetype position) const
{
    for (const FormulaError& error : m_errors) {
        if (error.start <= position && position < error.end)
            return error.message;
    }
    return {};
}

// A change at a formula's reach or before it may change how the text is cut
// there, so the marks from there on go; those before stay right.
void ErrorMarks::onContentsChange(int position, int, int)
{
    const auto isStale = [position](const FormulaError& error) { return error.reach > position; };
    if (std::none_of(m_errors.cbegin(), m_errors.cend(), isStale))
        return;
    m_errors.removeIf(isStale);
    draw();
}

// The part of the text the editor shows, as positions.
std::pair<qsizetype, qsizetype> ErrorMarks::visibleRange() const
{
    const QRect area = m_editor->viewport()->rect();
    const qsizetype first = m_editor->cursorForPosition(area.topLeft()).position();
    const qsizetype last = m_editor->cursorForPosition(area.bottomRight()).position();
    return { first, std::max(first, last) };
}

void ErrorMarks::drawIfScrolledAway()
{
    const auto [first, last] = visibleRange();
    if (!m_errors.isEmpty() && (first < m_markedFrom || last > m_markedTo))
        draw();
}

// Only the errors in and around what the editor shows are drawn: the editor
// looks at every mark for every line it paints, so the marks of thousands of
// failing formulas would make each paint slow. A scroll past the marked
// stretch draws them again.
void ErrorMarks::draw()
{
    const auto [first, last] = visibleRange();
    const qsizetype margin = std::max<qsizetype>(last - first, MinimumMarkedMargin);
    m_markedFrom = std::max<qsizetype>(0, first - margin);
    m_markedTo = last + margin;
    const auto begin = std::lower_bound(m_errors.cbegin(), m_errors.cend(), m_markedFrom,
        [](const FormulaError& error, qsizetype from) { return error.end < from; });

    QTextDocument* document = m_editor->document();
    const QTextCharFormat formula = formulaFormat();
    const QTextCharFormat error = errorFormat();
    QList<QTextEdit::ExtraSelection> marks;
    for (auto e = begin; e != m_errors.cend() && e->start <= m_markedTo; ++e) {
        marks.append(selection(document, e->start, e->end, formula));
        marks.append(selection(document, e->errorAt, e->errorEnd, error));
    }
    m_editor->setExtraSelections(marks);
}

bool ErrorMarks::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == m_editor->viewport())
        guarded(this, [this] { drawIfScrolledAway(); });
    if (event->type() != QEvent::ToolTip || watched != m_editor->viewport() || m_errors.isEmpty())
        return false;
    bool isShown = false;
    guarded(this, [&] {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString message = messageAt(m_editor->cursorForPosition(help->pos()).position());
        if (message.isEmpty())
            return;
        QToolTip::showText(help->globalPos(), message, m_editor->viewport());
        isShown = true;
    });
    return isShown;
}
