#pragma once

#include "app/typing/TexToken.h"

#include <functional>

class TexText;

// Cuts TeX source into tokens the way the preview cuts it into prose and
// formulas: $...$, $$...$$, \(...\), \[...\] and the display environments
// are formulas when their closing delimiter follows (an inline $ never past
// a blank line); an opening one without its closing is prose; definitions
// stand on their own; a text without any opening delimiter is one formula.
//
// A scan starts from a state that holds at a position and can stop anywhere;
// the state where it stopped lets a later scan go on from there, so a long
// text is scanned from the nearest known state, not from its start.
class TexScanner {
public:
    struct State {
        enum class Mode : quint8 { Prose, Formula, Definition, Whole };
        Mode mode = Mode::Prose;
        bool inComment = false;
        bool isEnvironment = false; // the formula is a display environment
        bool isNameDone = false; // the definition's name has been passed
        int end = 0; // where the formula's closing delimiter or the definition ends
        int closeLength = 0;
        // Where the text ends that the scan up to here read; an edit at or
        // past it keeps the state true.
        int reach = 0;

        bool operator==(const State&) const = default;
    };

    // The state at the start of a text, which has an opening delimiter
    // somewhere or none at all.
    static State initial(bool hasOpening);
    // Whether a text has any opening delimiter from a position on (or -1): the
    // position of the first.
    static int firstOpening(TexText& text, int from, int limit);

    using TokenSink = std::function<void(const TexToken&)>;
    // Called between tokens with the state that holds there.
    using StateSink = std::function<void(int position, const State&)>;

    // Scans from a position where the state holds until at least to; the
    // search for a closing delimiter looks no further than lookLimit. Returns
    // where the scan stopped (a token boundary at or past to); state holds there.
    static int scan(TexText& text, int from, int to, int lookLimit, State& state, const TokenSink& tokens,
        const StateSink& states = {});

    // All tokens of a whole text, neighbours of one kind joined.
    static TexTokens tokens(const QString& text);
};
