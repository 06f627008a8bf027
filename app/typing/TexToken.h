#pragma once

#include <QList>

// What a stretch of TeX source is, as the preview reads it.
enum class TexTokenKind : quint8 {
    Text, // prose between formulas, shown as it stands
    Math, // the inside of a formula that is no command, brace or comment
    Command, // \name, or \ and one other character
    Brace, // { or }
    MathDelimiter, // $, $$, \( \), \[ \]
    Environment, // \begin{name} and \end{name}
    Comment, // % to the end of the line, inside a formula
    Definition, // \newcommand and the like, with the name they define
};

// Whether a token opens or closes a pair.
enum class TexPairRole : quint8 { None, Opens, Closes };

struct TexToken {
    int from = 0;
    int length = 0;
    TexTokenKind kind = TexTokenKind::Text;
    TexPairRole role = TexPairRole::None;

    int to() const { return from + length; }
    bool operator==(const TexToken&) const = default;
};

using TexTokens = QList<TexToken>;
