#include "app/typing/PairMarks.h"

#include "app/typing/TexSource.h"
#include "core/ExceptionBoundary.h"
#include "editor/MemoText.h"
#include "editor/MemoView.h"

#include <QTimer>

#include <algorithm>

namespace {

// The stretches looked at on each side of the caret, nearest first.
constexpr int Reaches[] = { 256, 1 << 17 };

QColor mixed(const QColor& a, const QColor& b, qreal share)
{
    return QColor::fromRgbF(float(a.redF() * (1 - share) + b.redF() * share),
        float(a.greenF() * (1 - share) + b.greenF() * share), float(a.blueF() * (1 - share) + b.blueF() * share));
}

QTextEdit::ExtraSelection markOf(QTextDocument* document, const TexPairs::Mark& mark, const QTextCharFormat& format)
{
    return { MemoText::cursor(document, mark.from, mark.from + mark.length), format };
}

} // namespace

PairMarks::PairMarks(MemoView* view, TexSource* source)
    : QObject(view)
    , m_view(view)
    , m_source(source)
{
    // Looked at once the event that moved the caret is done, so an edit
    // that moves it several times costs one search.
    const auto later = [this] {
        if (m_isPending)
            return;
        m_isPending = true;
        QTimer::singleShot(0, this, [this] { guarded(this, [this] { update(); }); });
    };
    connect(view, &MemoView::cursorPositionChanged, this, later);
    connect(view, &MemoView::textChanged, this, later);
}

std::optional<TexPairs::Result> PairMarks::pairAt(int position)
{
    QTextDocument* document = m_view->document();
    const int length = document->characterCount() - 1;
    std::optional<TexPairs::Result> result;
    for (const int reach : Reaches) {
        const int from = std::max(0, position - reach);
        const int to = std::min(length, position + reach);
        QString text = MemoText::read(document, from, to);
        text.replace(QChar::ParagraphSeparator, u'\n');
        TexTokens tokens = m_source->tokensIn(from, to);
        tokens.erase(std::remove_if(tokens.begin(), tokens.end(),
                         [from, to](const TexToken& t) { return t.from < from || t.to() > to; }),
            tokens.end());
        result = TexPairs::partnerAt(text, from, tokens, position, from == 0, to == length);
        if (!result || result->kind != TexPairs::Result::Kind::Unknown)
            return result;
    }
    return std::nullopt;
}

void PairMarks::update()
{
    m_isPending = false;
    if (!m_view)
        return;
    const QTextCursor caret = m_view->textCursor();
    m_current = caret.hasSelection() ? std::nullopt : pairAt(caret.position());
    QList<QTextEdit::ExtraSelection> marks;
    if (m_current) {
        const QPalette& palette = m_view->palette();
        const QColor base = palette.color(QPalette::Active, QPalette::Base);
        QTextCharFormat format;
        if (m_current->kind == TexPairs::Result::Kind::Matched) {
            format.setBackground(mixed(base, palette.color(QPalette::Active, QPalette::Highlight), 0.35));
            marks.append(markOf(m_view->document(), m_current->at, format));
            marks.append(markOf(m_view->document(), m_current->partner, format));
        } else {
            const QColor alarm = palette.color(QPalette::Active, QPalette::LinkVisited);
            format.setBackground(mixed(base, alarm, 0.45));
            format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
            format.setUnderlineColor(alarm);
            marks.append(markOf(m_view->document(), m_current->at, format));
        }
    }
    m_view->setMarks(QString::fromLatin1(MarksName), marks);
}
