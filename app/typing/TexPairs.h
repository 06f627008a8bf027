#pragma once

#include "app/typing/TexToken.h"

#include <QStringView>

#include <optional>

// Finds the partner of a brace, a bracket, a parenthesis, \left or \right,
// \begin{..} or \end{..}, or a math delimiter, over the tokens of a stretch
// of text. Pairs nest within their own kind; comments and prose hold no pairs
// (a formula's delimiters excepted).
namespace TexPairs {

struct Mark {
    int from = 0;
    int length = 0;
};

struct Result {
    enum class Kind { Matched, Unmatched, Unknown };
    Kind kind = Kind::Unknown;
    Mark at; // the one beside the position
    Mark partner; // when matched
};

// The pair element that ends at position (else the one that starts there)
// and its partner. text holds the stretch the tokens cover, from offset on;
// a search that runs off the stretch without reaching the text's own start
// (startsText) or end (endsText) reports Unknown.
std::optional<Result> partnerAt(QStringView text, int offset, const TexTokens& tokens, int position,
    bool startsText = true, bool endsText = true);

} // namespace TexPairs
