#include "app/typing/TexScanner.h"

#include "app/typing/TexText.h"

#include <QStringList>

#include <algorithm>

namespace {

using State = TexScanner::State;
using Mode = State::Mode;

// Runs of prose or math are cut at this length, so states fall between
// tokens often enough in a line without breaks.
constexpr int MaxRun = 1024;

bool isLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isNameLetter(QChar c)
{
    return isLetter(c) || c == u'@';
}

bool isDisplayEnvironment(const QString& name)
{
    static const QStringList names = { QStringLiteral("equation"), QStringLiteral("equation*"),
        QStringLiteral("align"), QStringLiteral("align*"), QStringLiteral("gather"), QStringLiteral("gather*"),
        QStringLiteral("alignat"), QStringLiteral("alignat*"), QStringLiteral("multline"),
        QStringLiteral("multline*"), QStringLiteral("CD") };
    return names.contains(name);
}

// The environment's name of \begin{name} or \end{name} at i (the command
// being word letters long), or an empty string; its end in nameEnd.
QString environmentName(TexText& text, int braceAt, int& end)
{
    if (text.at(braceAt) != u'{')
        return {};
    int j = braceAt + 1;
    QString name;
    while (isLetter(text.at(j)) && name.size() < 64)
        name += text.at(j++);
    if (text.at(j) == u'*')
        name += text.at(j++);
    if (name.isEmpty() || text.at(j) != u'}')
        return {};
    end = j + 1;
    return name;
}

struct Opening {
    int openLength = 0;
    QString close;
    bool isEnvironment = false;
};

// The formula an opening delimiter at i starts, if any.
bool openingAt(TexText& text, int i, Opening& opening)
{
    const QChar c = text.at(i);
    if (c == u'$') {
        const bool display = text.at(i + 1) == u'$';
        opening = { display ? 2 : 1, display ? QStringLiteral("$$") : QStringLiteral("$"), false };
        return true;
    }
    if (c != u'\\')
        return false;
    const QChar d = text.at(i + 1);
    if (d == u'(' || d == u'[') {
        opening = { 2, d == u'(' ? QStringLiteral("\\)") : QStringLiteral("\\]"), false };
        return true;
    }
    if (!text.startsWith(i, u"\\begin{"))
        return false;
    int end = 0;
    const QString name = environmentName(text, i + 6, end);
    if (name.isEmpty() || !isDisplayEnvironment(name))
        return false;
    opening = { end - i, QStringLiteral("\\end{") + name + u'}', true };
    return true;
}

// The start of a blank line (a line break, then spaces, then another) at or
// after from, before limit, or limit.
int blankLineAt(TexText& text, int from, int limit, int& after)
{
    for (int i = text.indexOf(u'\n', from, limit); i >= 0; i = text.indexOf(u'\n', i + 1, limit)) {
        int j = i + 1;
        while (j < limit && (text.at(j) == u' ' || text.at(j) == u'\t' || text.at(j) == u'\r'))
            ++j;
        if (j < limit && text.at(j) == u'\n') {
            after = j + 1;
            return i;
        }
    }
    after = limit;
    return limit;
}

int findEnd(TexText& text, int from, int limit, const QString& close, bool areBracesCounted)
{
    int depth = 0;
    const QChar first = close.at(0);
    for (int j = from; j < limit; ++j) {
        const QChar c = text.at(j);
        if (c == u'\\') {
            if (depth <= 0 && first == u'\\' && text.startsWith(j, close))
                return j;
            ++j;
        } else if (c == u'{' && areBracesCounted) {
            ++depth;
        } else if (c == u'}' && areBracesCounted) {
            --depth;
        } else if (depth <= 0 && c == first && text.startsWith(j, close)) {
            return j;
        }
    }
    return -1;
}

// Where the closing delimiter starts (or -1), and how far the search read.
// An inline formula never runs past a blank line; the blank line is looked
// for only up to the closing delimiter found without it, so a long text
// with many formulas is not read to its end for each of them.
int closingOf(TexText& text, int from, int lookLimit, const QString& close, int& reach)
{
    int at = findEnd(text, from, lookLimit, close, true);
    const int plain = findEnd(text, from, at >= 0 ? at + 1 : lookLimit, close, false);
    if (close == u"$") {
        const int far = std::max(at, plain) >= 0 ? std::max(at, plain) : lookLimit;
        int after = 0;
        const int blank = blankLineAt(text, from, far, after);
        if (blank < far) {
            reach = after;
            at = findEnd(text, from, blank, close, true);
            if (at < 0)
                at = findEnd(text, from, blank, close, false);
            if (at >= 0)
                reach = at + int(close.size());
            return at;
        }
    }
    if (at < 0)
        at = plain;
    reach = at >= 0 ? at + int(close.size()) : lookLimit;
    return at;
}

int skipSpaces(TexText& text, int j)
{
    while (text.at(j) == u' ' || text.at(j) == u'\t' || text.at(j) == u'\n')
        ++j;
    return j;
}

int groupEnd(TexText& text, int j, int limit)
{
    int depth = 0;
    for (int k = j; k < limit; ++k) {
        const QChar c = text.at(k);
        if (c == u'\\')
            ++k;
        else if (c == u'{')
            ++depth;
        else if (c == u'}' && --depth == 0)
            return k + 1;
    }
    return -1;
}

int nameEnd(TexText& text, int j)
{
    if (text.at(j) != u'\\' || j + 1 >= text.length())
        return -1;
    int end = j + 2;
    if (isNameLetter(text.at(j + 1))) {
        while (isNameLetter(text.at(end)))
            ++end;
    }
    return end;
}

// The definition a command at i starts: the command's length and the
// definition's end, and how far the search read; false for none.
bool definitionAt(TexText& text, int i, int lookLimit, int& commandLength, int& end, int& reach)
{
    static const QStringList commands = { QStringLiteral("newcommand"), QStringLiteral("renewcommand"),
        QStringLiteral("providecommand"), QStringLiteral("DeclareMathOperator"), QStringLiteral("def"),
        QStringLiteral("gdef"), QStringLiteral("edef"), QStringLiteral("xdef") };
    int j = i + 1;
    QString name;
    while (isNameLetter(text.at(j)) && name.size() < 24)
        name += text.at(j++);
    if (!commands.contains(name))
        return false;
    if (text.at(j) == u'*')
        ++j;
    commandLength = j - i;
    int blankEnd = 0;
    const int limit = blankLineAt(text, i, lookLimit, blankEnd);
    const bool takesParameters = name.endsWith(QLatin1String("def"));
    j = skipSpaces(text, j);
    j = text.at(j) == u'{' && !takesParameters ? groupEnd(text, j, limit) : nameEnd(text, j);
    if (name.endsWith(QLatin1String("command"))) {
        for (j = skipSpaces(text, j); j >= 0 && text.at(j) == u'['; j = skipSpaces(text, j)) {
            const int close = text.indexOf(u']', j, limit);
            j = close >= 0 ? close + 1 : -1;
        }
    } else if (takesParameters && j >= 0) {
        while (j < limit && text.at(j) != u'{' && text.at(j) != u'}')
            j += text.at(j) == u'\\' ? 2 : 1;
    }
    j = j >= 0 ? skipSpaces(text, j) : -1;
    end = j >= 0 && j < limit && text.at(j) == u'{' ? groupEnd(text, j, limit) : -1;
    if (end >= 0) {
        reach = end;
        return true;
    }
    const int lineEnd = text.indexOf(u'\n', i, text.length());
    end = lineEnd >= 0 ? lineEnd : text.length();
    reach = blankEnd;
    return true;
}

class Scan {
public:
    Scan(TexText& text, int lookLimit, State& state, const TexScanner::TokenSink& sink)
        : m_text(text)
        , m_lookLimit(lookLimit)
        , m_state(state)
        , m_sink(sink)
    {
    }

    // One token or more from i; returns the position after them.
    int step(int i)
    {
        switch (m_state.mode) {
        case Mode::Prose: return prose(i);
        case Mode::Formula:
            if (i >= m_state.end)
                return closeFormula(i);
            return math(i, m_state.end);
        case Mode::Definition:
            if (i >= m_state.end) {
                m_state = proseState();
                return i;
            }
            if (!m_state.isNameDone)
                return definedName(i);
            return math(i, m_state.end);
        case Mode::Whole: return math(i, m_text.length());
        }
        return i + 1;
    }

private:
    int put(int from, int to, TexTokenKind kind, TexPairRole role = TexPairRole::None)
    {
        if (to > from)
            m_sink({ from, to - from, kind, role });
        return to;
    }

    State proseState() const
    {
        State state;
        state.reach = m_state.reach;
        return state;
    }

    void reach(int position) { m_state.reach = std::max(m_state.reach, position); }

    int prose(int i)
    {
        const int start = i;
        const int limit = std::min(m_text.length(), i + MaxRun);
        while (i < limit) {
            const QChar c = m_text.at(i);
            if (c == u'\\' && m_text.at(i + 1) == u'$') {
                i += 2;
                continue;
            }
            if (c != u'\\' && c != u'$') {
                ++i;
                continue;
            }
            Opening opening;
            if (openingAt(m_text, i, opening)) {
                int closingReach = 0;
                const int at = closingOf(m_text, i + opening.openLength, m_lookLimit, opening.close, closingReach);
                reach(closingReach);
                if (at < 0) {
                    i += opening.openLength;
                    continue;
                }
                put(start, i, TexTokenKind::Text);
                m_state.mode = Mode::Formula;
                m_state.end = at;
                m_state.closeLength = int(opening.close.size());
                m_state.isEnvironment = opening.isEnvironment;
                m_state.inComment = false;
                return put(i, i + opening.openLength,
                    opening.isEnvironment ? TexTokenKind::Environment : TexTokenKind::MathDelimiter, TexPairRole::Opens);
            }
            int commandLength = 0;
            int end = 0;
            int definitionReach = 0;
            if (c == u'\\' && definitionAt(m_text, i, m_lookLimit, commandLength, end, definitionReach)) {
                reach(definitionReach);
                put(start, i, TexTokenKind::Text);
                m_state.mode = Mode::Definition;
                m_state.end = end;
                m_state.isNameDone = false;
                m_state.inComment = false;
                return put(i, i + commandLength, TexTokenKind::Definition);
            }
            i += c == u'\\' ? 2 : 1;
        }
        return put(start, std::min(i, m_text.length()), TexTokenKind::Text);
    }

    int closeFormula(int i)
    {
        const int end = i + m_state.closeLength;
        const bool isEnvironment = m_state.isEnvironment;
        m_state = proseState();
        return put(i, end, isEnvironment ? TexTokenKind::Environment : TexTokenKind::MathDelimiter,
            TexPairRole::Closes);
    }

    int definedName(int i)
    {
        m_state.isNameDone = true;
        int j = i;
        while (j < m_state.end && (m_text.at(j) == u' ' || m_text.at(j) == u'\t'))
            ++j;
        const bool braced = m_text.at(j) == u'{';
        const int nameStart = braced ? j + 1 : j;
        int end = nameEnd(m_text, nameStart);
        if (end < 0)
            return put(i, j, TexTokenKind::Math);
        if (braced && m_text.at(end) == u'}')
            ++end;
        put(i, j, TexTokenKind::Math);
        return put(j, std::min(end, m_state.end), TexTokenKind::Definition);
    }

    int math(int i, int limit)
    {
        if (m_state.inComment)
            return comment(i, limit);
        const QChar c = m_text.at(i);
        if (c == u'%') {
            m_state.inComment = true;
            return comment(i, limit);
        }
        if (c == u'{' || c == u'}')
            return put(i, i + 1, TexTokenKind::Brace, c == u'{' ? TexPairRole::Opens : TexPairRole::Closes);
        if (c == u'\\')
            return command(i, limit);
        int j = i + 1;
        const int runLimit = std::min(limit, i + MaxRun);
        while (j < runLimit) {
            const QChar d = m_text.at(j);
            if (d == u'\\' || d == u'{' || d == u'}' || d == u'%')
                break;
            ++j;
        }
        return put(i, j, TexTokenKind::Math);
    }

    int comment(int i, int limit)
    {
        const int runLimit = std::min(limit, i + MaxRun);
        const int lineEnd = m_text.indexOf(u'\n', i, runLimit);
        if (lineEnd >= 0)
            m_state.inComment = false;
        return put(i, lineEnd >= 0 ? lineEnd : runLimit, TexTokenKind::Comment);
    }

    int command(int i, int limit)
    {
        if (i + 1 >= limit)
            return put(i, limit, TexTokenKind::Command);
        if (!isLetter(m_text.at(i + 1)))
            return put(i, i + 2, TexTokenKind::Command);
        int j = i + 1;
        while (j < limit && isLetter(m_text.at(j)) && j - i < 64)
            ++j;
        const bool begins = j - i == 6 && m_text.startsWith(i, u"\\begin");
        const bool ends = j - i == 4 && m_text.startsWith(i, u"\\end");
        if (begins || ends) {
            int end = 0;
            if (!environmentName(m_text, j, end).isEmpty() && end <= limit)
                return put(i, end, TexTokenKind::Environment, begins ? TexPairRole::Opens : TexPairRole::Closes);
        }
        if (j - i == 5 && m_text.startsWith(i, u"\\left"))
            return put(i, j, TexTokenKind::Command, TexPairRole::Opens);
        if (j - i == 6 && m_text.startsWith(i, u"\\right"))
            return put(i, j, TexTokenKind::Command, TexPairRole::Closes);
        return put(i, j, TexTokenKind::Command);
    }

    TexText& m_text;
    int m_lookLimit;
    State& m_state;
    const TexScanner::TokenSink& m_sink;
};

} // namespace

TexScanner::State TexScanner::initial(bool hasOpening)
{
    State state;
    state.mode = hasOpening ? Mode::Prose : Mode::Whole;
    return state;
}

int TexScanner::firstOpening(TexText& text, int from, int limit)
{
    limit = std::min(limit, text.length());
    for (int i = std::max(0, from); i < limit; ++i) {
        const QChar c = text.at(i);
        Opening opening;
        if ((c == u'$' || (c == u'\\' && text.at(i + 1) != u'$')) && openingAt(text, i, opening))
            return i;
        if (c == u'\\')
            ++i;
    }
    return -1;
}

int TexScanner::scan(TexText& text, int from, int to, int lookLimit, State& state, const TokenSink& tokens,
    const StateSink& states)
{
    lookLimit = std::min(lookLimit, text.length());
    Scan scan(text, lookLimit, state, tokens);
    int i = from;
    while (i < to && i < text.length()) {
        if (states)
            states(i, state);
        i = scan.step(i);
    }
    return i;
}

TexTokens TexScanner::tokens(const QString& source)
{
    TexText text(source);
    State state = initial(firstOpening(text, 0, text.length()) >= 0);
    TexTokens tokens;
    scan(text, 0, text.length(), text.length(), state, [&tokens](const TexToken& token) {
        if (!tokens.isEmpty() && tokens.last().kind == token.kind && tokens.last().to() == token.from
            && token.role == TexPairRole::None && tokens.last().role == TexPairRole::None)
            tokens.last().length += token.length;
        else
            tokens.append(token);
    });
    return tokens;
}
