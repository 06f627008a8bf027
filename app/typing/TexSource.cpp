#include "app/typing/TexSource.h"

#include "app/typing/TexText.h"
#include "editor/MemoText.h"

#include <QTextDocument>

#include <algorithm>

namespace {

// How far apart the kept states are.
constexpr int StateSpacing = 4096;
// How far past a stretch the search for a formula's closing delimiter looks;
// a formula longer than this is read as prose by the colours and the pairs.
constexpr int LookAhead = 1 << 18;
// The longest opening delimiter the search for the first looks back over.
constexpr int OpeningLength = 24;

} // namespace

TexSource::TexSource(QTextDocument* document)
    : QObject(document)
    , m_document(document)
{
    connect(document, &QTextDocument::contentsChange, this, &TexSource::onContentsChange);
}

int TexSource::length() const
{
    return std::max(0, m_document->characterCount() - 1);
}

TexText TexSource::text() const
{
    QTextDocument* document = m_document;
    return TexText([document](int from, int to) {
        QString stretch = MemoText::read(document, from, to);
        stretch.replace(QChar::ParagraphSeparator, u'\n');
        return stretch;
    }, length());
}

void TexSource::onContentsChange(int from, int, int added)
{
    ++m_revision;
    const bool hadOpening = m_firstOpening >= 0;
    updateOpening(from, added);
    if ((m_firstOpening >= 0) != hadOpening) {
        m_states.clear();
        return;
    }
    for (auto it = m_states.begin(); it != m_states.end();) {
        if (it->first > from || it->second.reach > from)
            it = m_states.erase(it);
        else
            ++it;
    }
}

// Keeps the first opening delimiter known without reading the whole text
// again on every edit: an edit after it leaves it, one into a text without
// any is searched around itself.
void TexSource::updateOpening(int from, int added)
{
    if (m_firstOpening == -2)
        return;
    if (m_firstOpening >= 0 && m_firstOpening + OpeningLength < from)
        return;
    TexText all = text();
    const int start = std::max(0, from - OpeningLength);
    if (m_firstOpening == -1) {
        m_firstOpening = TexScanner::firstOpening(all, start, from + added + OpeningLength);
        return;
    }
    m_firstOpening = TexScanner::firstOpening(all, std::max(0, std::min(start, m_firstOpening - OpeningLength)), all.length());
}

TexTokens TexSource::tokensIn(int from, int to)
{
    TexText all = text();
    if (m_firstOpening == -2) {
        m_firstOpening = TexScanner::firstOpening(all, 0, all.length());
        m_states.clear();
    }
    if (m_states.empty() || m_states.begin()->first != 0)
        m_states[0] = TexScanner::initial(m_firstOpening >= 0);
    auto known = std::prev(m_states.upper_bound(from));
    int last = known->first;
    TexScanner::State state = known->second;
    TexTokens tokens;
    TexScanner::scan(all, known->first, to, std::min(all.length(), to + LookAhead), state,
        [&tokens, from](const TexToken& token) {
            if (token.to() > from)
                tokens.append(token);
        },
        [this, &last](int at, const TexScanner::State& reached) {
            if (at >= last + StateSpacing) {
                m_states[at] = reached;
                last = at;
            }
        });
    return tokens;
}
