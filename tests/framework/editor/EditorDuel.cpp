#include "framework/editor/EditorDuel.h"

#include "editor/MemoView.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace EditorDuel {

namespace {

// The differences kept on purpose, each avoided here in one place:
// - Tab moves the focus on (the editor does not want tabs): no Tab is sent.
// - Ctrl+Del and Ctrl+Ins are the menu's keys: neither is sent.
// - Undo steps: the stock editor joins typing to a paste, and keeps a line
//   break apart from the typing around it; ours does the reverse. The stock
//   side's undo follows our steps (StockUndo below), in which a paste of
//   the whole text over itself, as the restore hand-over makes, is no step.
// - A copy keeps a non-breaking space: none is typed or in a text.
// - The mouse's drag-scroll is faster: no mouse here.

const char16_t* const Typed[] = {
    u"a", u"b", u"e", u"x", u"_", u"1", u" ", u" ", u".", u"(", u"\u00e9", u"\u03bb", u"\u0436", u"\u4e2d",
    u"\U0001D400", u"\U0001F642", u"\u0301",
};

struct Named {
    int key;
    Qt::KeyboardModifiers modifiers;
};

const Named Moves[] = {
    { Qt::Key_Left, {} }, { Qt::Key_Right, {} }, { Qt::Key_Up, {} }, { Qt::Key_Down, {} },
    { Qt::Key_Home, {} }, { Qt::Key_End, {} }, { Qt::Key_Left, Qt::ControlModifier },
    { Qt::Key_Right, Qt::ControlModifier }, { Qt::Key_Home, Qt::ControlModifier },
    { Qt::Key_End, Qt::ControlModifier }, { Qt::Key_PageUp, {} }, { Qt::Key_PageDown, {} },
};

const Named Edits[] = {
    { Qt::Key_Backspace, {} }, { Qt::Key_Delete, {} }, { Qt::Key_Backspace, Qt::ControlModifier },
    { Qt::Key_Return, {} },
};

const Named Others[] = {
    { Qt::Key_Z, Qt::ControlModifier }, { Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier },
    { Qt::Key_X, Qt::ControlModifier }, { Qt::Key_C, Qt::ControlModifier }, { Qt::Key_V, Qt::ControlModifier },
    { Qt::Key_A, Qt::ControlModifier },
};

template <typename T, size_t N>
const T& pick(std::mt19937& random, const T (&from)[N])
{
    return from[std::uniform_int_distribution<size_t>(0, N - 1)(random)];
}

int below(std::mt19937& random, int n)
{
    return std::uniform_int_distribution<int>(0, n - 1)(random);
}

Key randomKey(std::mt19937& random)
{
    const int roll = below(random, 100);
    if (roll < 35)
        return { 0, {}, QString::fromUtf16(pick(random, Typed)) };
    if (roll < 70) {
        Named move = pick(random, Moves);
        if (below(random, 3) == 0)
            move.modifiers |= Qt::ShiftModifier;
        return { move.key, move.modifiers, {} };
    }
    const Named named = roll < 92 ? pick(random, Edits) : pick(random, Others);
    return { named.key, named.modifiers, {} };
}

QString word(std::mt19937& random, bool mixed)
{
    static const QString latin = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    static const QStringList foreign = { QStringLiteral("\u03b1\u03b2\u03b3"), QStringLiteral("\u0436\u0443\u043a"),
        QStringLiteral("\u4e2d\u6587"), QStringLiteral("\U0001F642"), QStringLiteral("e\u0301"),
        QStringLiteral("\U0001D400\U0001D401") };
    QString result;
    const int letters = 1 + below(random, 10);
    for (int i = 0; i < letters; ++i)
        result += mixed && below(random, 4) == 0 ? foreign[below(random, int(foreign.size()))]
                                                 : QString(latin[below(random, 26)]);
    return result;
}

QString line(std::mt19937& random, int length, bool mixed)
{
    QString result;
    while (result.size() < length) {
        result += word(random, mixed);
        result += below(random, 8) == 0 ? QStringLiteral(". ") : QStringLiteral(" ");
    }
    return result;
}

} // namespace

QString Key::name() const
{
    if (!text.isEmpty()) {
        QString codes;
        for (const uint c : text.toUcs4())
            codes += QStringLiteral("U+%1").arg(c, 4, 16, QLatin1Char('0')).toUpper().replace(u'X', u'x');
        return QStringLiteral("type %1").arg(codes);
    }
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(key))).toString();
}

QString State::describe() const
{
    const QString shown = text.size() > 80 ? text.left(40) + QStringLiteral("...") + text.right(40) : text;
    return QStringLiteral("[%1] length %2, anchor %3, caret %4").arg(shown).arg(text.size()).arg(anchor).arg(position);
}

Case randomCase(std::mt19937& random, Corpus corpus)
{
    Case result;
    result.corpus = corpus;
    switch (corpus) {
    case Corpus::Short: {
        const QString samples[] = { QString(), QStringLiteral("hello world"), QStringLiteral("abc\ndef"),
            QStringLiteral("foo ") + QString(300, u'b') + QStringLiteral(".c d"), QStringLiteral("ab \U0001F642r\U0001F642"),
            QStringLiteral("e\u0301 x"), line(random, 30, false) + u'\n' + line(random, 20, false) };
        result.text = samples[below(random, int(std::size(samples)))];
        if (below(random, 6) == 0) {
            result.text.clear();
            for (int i = 0; i < 40; ++i)
                result.text += QStringLiteral("line %1\n").arg(i);
        }
        break;
    }
    case Corpus::LongLine:
        result.text = line(random, 20000 + below(random, 20000), below(random, 2) == 0);
        if (below(random, 2) == 0)
            result.text += u'\n' + line(random, 20000 + below(random, 20000), true);
        break;
    case Corpus::MixedScripts:
        for (int lines = 1 + below(random, 4); lines > 0; --lines)
            result.text += line(random, 5 + below(random, 60), true) + (lines > 1 ? QStringLiteral("\n") : QString());
        break;
    }
    result.caret = below(random, int(result.text.size()) + 1);
    if (result.caret < result.text.size() && result.text[result.caret].isLowSurrogate())
        --result.caret;
    for (int keys = 4 + below(random, 20); keys > 0; --keys)
        result.keys.append(randomKey(random));
    return result;
}

} // namespace EditorDuel
