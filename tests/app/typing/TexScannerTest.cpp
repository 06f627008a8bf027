#include "app/typing/TexScanner.h"
#include "app/typing/TexText.h"

#include <gtest/gtest.h>

namespace {

// The kinds of a text written one letter per character: t text, m math,
// c command, b brace, d math delimiter, e environment, % comment, f definition.
QString kindsOf(const QString& text)
{
    static const char letters[] = "tmcbde%f";
    QString kinds(text.size(), u'?');
    for (const TexToken& token : TexScanner::tokens(text)) {
        for (int i = token.from; i < token.to(); ++i)
            kinds[i] = QLatin1Char(letters[int(token.kind)]);
    }
    return kinds;
}

struct Case {
    const char* text;
    const char* kinds;
};

TEST(TexScannerTest, KindOfEveryCharacterAsThePreviewReadsIt)
{
    const Case cases[] = {
        // Without any opening delimiter the whole text is one formula.
        { "x^2", "mmm" },
        { "\\frac{a}{b}", "cccccbmbbmb" },
        { "a % note\nb", "mm%%%%%%mm" },
        { "\\{x\\}", "ccmcc" },
        // Prose around formulas keeps the plain colour, commands included.
        { "see $x$ \\emph", "ttttdmdtttttt" },
        { "$$a$$", "ddmdd" },
        { "\\(a\\) \\[b\\]", "ddmddtddmdd" },
        // An opening delimiter without its closing one is prose.
        { "a $b", "tttt" },
        { "cost \\$5 $x$", "tttttttttdmd" },
        // An inline formula never runs past a blank line; the next dollar
        // opens the next one.
        { "$a\n\nb$ $c$", "tttttdmdtt" },
        // A closing delimiter inside braces does not count while one outside does.
        { "${$}$", "dbmbd" },
        // Display environments are formulas of their own; others are commands' environments.
        { "x $y$ \\begin{align}a\\end{align}",
            "ttdmdteeeeeeeeeeeeemeeeeeeeeeee" },
        { "$\\begin{matrix}a\\end{matrix}$", "deeeeeeeeeeeeeemeeeeeeeeeeeed" },
        // A comment inside a formula runs to the line's end.
        { "$a %b\nc$", "dmm%%mmd" },
        // A definition stands on its own, its name with it.
        { "\\newcommand{\\R}{\\mathbb{R}} $\\R$", "fffffffffffffffbcccccccbmbbtdccd" },
        { "\\def\\x{1} $x$", "ffffffbmbtdmd" },
        // Escaped dollar in prose; a backslash pair before a dollar is no escape.
        { "\\\\$x$", "ttdmd" },
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(kindsOf(text).toStdString(), std::string(c.kinds)) << c.text;
    }
}

// A scan resumed from any state it reported gives the tokens a scan from the
// start gives, which is what lets the editor colour a long line from the
// nearest state it knows.
TEST(TexScannerTest, ResumedScanGivesTheSameTokens)
{
    const QString source = QStringLiteral("For $n \\ge 1$ and \\(\\frac{a}{b}\\) % c\n\\begin{align}x&=1\\end{align} $$y$$ end");
    TexText text(source);
    TexScanner::State state = TexScanner::initial(true);
    QList<std::pair<int, TexScanner::State>> states;
    QList<TexToken> whole;
    TexScanner::scan(text, 0, int(source.size()), int(source.size()), state,
        [&](const TexToken& token) { whole.append(token); },
        [&](int at, const TexScanner::State& s) { states.append({ at, s }); });
    for (const auto& [at, resumedState] : states) {
        TexScanner::State resumed = resumedState;
        QList<TexToken> rest;
        TexScanner::scan(text, at, int(source.size()), int(source.size()), resumed,
            [&](const TexToken& token) { rest.append(token); });
        QList<TexToken> expected;
        for (const TexToken& token : whole) {
            if (token.from >= at)
                expected.append(token);
        }
        EXPECT_EQ(rest, expected) << at;
    }
}

} // namespace
