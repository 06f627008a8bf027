#include "app/typing/TexPairs.h"
#include "app/typing/TexScanner.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* text; // | marks the position
    int partner; // where the partner starts; -1 unmatched, -2 nothing beside
};

TEST(TexPairsTest, PartnerOfEachKindOfPair)
{
    const Case cases[] = {
        { "{a{b}c}|", 0 },
        { "|{a{b}c}", 6 },
        { "{a{b}|c}", 2 },
        { "{a\n{b}\nc}|", 0 },
        { "[x]|", 0 },
        { "(|a(b))", 5 },
        { "(a(b))|", 0 },
        { "\\left|( a \\right)", 9 },
        { "\\left( a \\right|)", 0 },
        { "\\begin{matrix}|a\\begin{matrix}b\\end{matrix}\\end{matrix}", 42 },
        { "$a$|", 0 },
        { "x $a$ \\(|b\\)", 9 },
        { "\\begin{align}|x\\end{align}", 14 },
        // Unmatched, also across kinds and for environments of another name.
        { "{a|", -2 },
        { "{|a", -1 },
        { "a}|", -1 },
        { "{(}|", 0 },
        { "\\begin{matrix}|x\\end{cases}", -1 },
        { "\\begin{matrix}|x", -1 },
        // Braces in escapes and comments hold no pair.
        { "\\{|", -2 },
        { "{% }\n}|", 0 },
    };
    for (const Case& c : cases) {
        QString text = QString::fromUtf8(c.text);
        const int position = int(text.indexOf(u'|'));
        text.remove(position, 1);
        const auto result = TexPairs::partnerAt(text, 0, TexScanner::tokens(text), position);
        if (c.partner == -2) {
            EXPECT_FALSE(result.has_value()) << c.text;
            continue;
        }
        ASSERT_TRUE(result.has_value()) << c.text;
        if (c.partner == -1) {
            EXPECT_EQ(result->kind, TexPairs::Result::Kind::Unmatched) << c.text;
        } else {
            EXPECT_EQ(result->kind, TexPairs::Result::Kind::Matched) << c.text;
            EXPECT_EQ(result->partner.from, c.partner) << c.text;
        }
    }
}

// A search that runs off a stretch of a longer text cannot tell.
TEST(TexPairsTest, SearchOffTheStretchIsUnknown)
{
    const QString text = QStringLiteral("{ab");
    const auto result = TexPairs::partnerAt(text, 0, TexScanner::tokens(text), 0, true, false);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->kind, TexPairs::Result::Kind::Unknown);
}

} // namespace
