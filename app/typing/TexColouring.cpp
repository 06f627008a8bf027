#include "app/typing/TexColouring.h"

#include "app/typing/TexColours.h"
#include "app/typing/TexSource.h"
#include "editor/MemoView.h"

#include <QEvent>

#include <algorithm>

TexColouring::TexColouring(MemoView* view, TexSource* source)
    : QObject(view)
    , m_view(view)
    , m_source(source)
{
    view->installEventFilter(this);
    view->setColouring([this](int from, int to) { return formatsFor(from, to); });
}

bool TexColouring::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::PaletteChange) {
        m_formats.clear();
        m_view->viewport()->update();
    }
    return false;
}

QList<QTextLayout::FormatRange> TexColouring::formatsFor(int from, int to)
{
    if (m_formats.isEmpty() && m_view) {
        for (int kind = 0; kind <= int(TexTokenKind::Definition); ++kind)
            m_formats.append(TexColours::formatOf(TexTokenKind(kind), m_view->palette()));
    }
    QList<QTextLayout::FormatRange> ranges;
    for (const TexToken& token : m_source->tokensIn(from, to)) {
        if (token.kind == TexTokenKind::Text)
            continue;
        const int start = std::max(from, token.from);
        const int end = std::min(to, token.to());
        if (start >= end)
            continue;
        if (!ranges.isEmpty() && ranges.last().start + ranges.last().length == start - from
            && ranges.last().format == m_formats[int(token.kind)])
            ranges.last().length += end - start;
        else
            ranges.append({ start - from, end - start, m_formats[int(token.kind)] });
    }
    return ranges;
}
