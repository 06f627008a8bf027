#include "app/typing/TexPairs.h"

#include <QList>

namespace {

enum class Family : quint8 { Brace, Bracket, Parenthesis, LeftRight, Environment, Delimiter };

struct Element {
    int from = 0;
    int length = 0;
    Family family = Family::Brace;
    bool opens = false;
    QStringView name;
};

QStringView environmentNameOf(QStringView token)
{
    const qsizetype open = token.indexOf(u'{');
    if (open < 0 || !token.endsWith(u'}'))
        return {};
    return token.sliced(open + 1, token.size() - open - 2);
}

void addCharacters(QList<Element>& elements, QStringView text, int offset, const TexToken& token)
{
    for (int i = token.from; i < token.to(); ++i) {
        const QChar c = text[i - offset];
        if (c == u'[' || c == u']')
            elements.append({ i, 1, Family::Bracket, c == u'[', {} });
        else if (c == u'(' || c == u')')
            elements.append({ i, 1, Family::Parenthesis, c == u'(', {} });
    }
}

QList<Element> elementsOf(QStringView text, int offset, const TexTokens& tokens)
{
    QList<Element> elements;
    for (const TexToken& token : tokens) {
        if (token.kind == TexTokenKind::Math || token.kind == TexTokenKind::Definition) {
            addCharacters(elements, text, offset, token);
            continue;
        }
        if (token.role == TexPairRole::None)
            continue;
        Element element { token.from, token.length, Family::Brace, token.role == TexPairRole::Opens, {} };
        if (token.kind == TexTokenKind::Environment) {
            element.family = Family::Environment;
            element.name = environmentNameOf(text.sliced(token.from - offset, token.length));
        } else if (token.kind == TexTokenKind::MathDelimiter) {
            element.family = Family::Delimiter;
        } else if (token.kind == TexTokenKind::Command) {
            element.family = Family::LeftRight;
        }
        elements.append(element);
    }
    return elements;
}

qsizetype elementBeside(const QList<Element>& elements, int position)
{
    qsizetype starting = -1;
    for (qsizetype i = 0; i < elements.size(); ++i) {
        if (elements[i].from + elements[i].length == position)
            return i;
        if (elements[i].from == position)
            starting = i;
        if (elements[i].from > position)
            break;
    }
    return starting;
}

} // namespace

std::optional<TexPairs::Result> TexPairs::partnerAt(QStringView text, int offset, const TexTokens& tokens,
    int position, bool startsText, bool endsText)
{
    const QList<Element> elements = elementsOf(text, offset, tokens);
    const qsizetype index = elementBeside(elements, position);
    if (index < 0)
        return std::nullopt;
    const Element& at = elements[index];
    Result result;
    result.at = { at.from, at.length };
    const int step = at.opens ? 1 : -1;
    int depth = 0;
    for (qsizetype i = index + step; i >= 0 && i < elements.size(); i += step) {
        const Element& other = elements[i];
        if (other.family != at.family)
            continue;
        if (other.opens == at.opens) {
            ++depth;
            continue;
        }
        if (depth-- > 0)
            continue;
        const bool fits = at.family != Family::Environment || other.name == at.name;
        result.kind = fits ? Result::Kind::Matched : Result::Kind::Unmatched;
        if (fits)
            result.partner = { other.from, other.length };
        return result;
    }
    result.kind = (at.opens ? endsText : startsText) ? Result::Kind::Unmatched : Result::Kind::Unknown;
    return result;
}
