#include "MainFormFixture.h"

#include "app/ErrorMarks.h"
#include "controls/TMemo.h"

#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <QVariantMap>

// After a refresh, each formula the preview could not typeset is marked in
// the editor where the typesetter stopped, with its reason; the text, its
// undo history and the preview file stay as they were; an edit before a
// formula's mark drops it, one after it keeps it.
class ErrorMarksInEditor : public MainFormFixture {};

TEST_F(ErrorMarksInEditor, MarkWhereTheTypesetterStopped)
{
    struct Case {
        const char* text;
        // Each failing formula: its first character, the character marked
        // and a word of the reason.
        std::vector<std::tuple<int, int, const char*>> marks;
    };
    const Case cases[] = {
        { "$\\foo$", { { 0, 1, "Undefined control sequence" } } },
        { "$a & b$", { { 0, 3, "&" } } },
        { "$x$ and $y^{$ and $\\bar$", { { 8, 12, "Expected" }, { 18, 23, "" } } },
        { "Broken: $\\frac{1}{$ and more\r\n\r\n$$y$$ $$\\alpha\\beta\\gamma\\zz$$",
            { { 8, 18, "expected '}'" }, { 36, 55, "\\zz" } } },
        { "\\[\r\na \\\\\r\n\\nope\r\n\\]", { { 0, 8, "\\nope" } } },
        { "\\begin{align}\r\na &= b \\\\\r\nc &= \\nope\r\n\\end{align}", { { 0, 29, "\\nope" } } },
        { "$\\alpha$ $\\beta$", {} },
    };
    startWith({});
    form->show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(refreshWith(QString::fromUtf8(c.text)));
        const QString text = form->Memo1->Text();
        const QByteArray file = preview();
        const int undoSteps = form->Memo1->document()->availableUndoSteps();

        const QList<FormulaError>& errors = form->ErrorMarks1()->errors();
        ASSERT_EQ(errors.size(), qsizetype(c.marks.size()));
        for (size_t i = 0; i < c.marks.size(); ++i) {
            const auto [start, at, word] = c.marks[i];
            EXPECT_EQ(errors[i].start, start);
            EXPECT_EQ(errors[i].errorAt, at);
            EXPECT_TRUE(errors[i].message.contains(QString::fromUtf8(word))) << errors[i].message.toStdString();
            EXPECT_EQ(form->ErrorMarks1()->messageAt(at), errors[i].message);
        }
        if (!errors.isEmpty()) {
            // The reason shows as the tool tip over the mark, past the
            // application's own hints.
            form->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
            QTextCursor atMark(form->Memo1->document());
            atMark.setPosition(errors[0].errorAt);
            const QPoint local = form->Memo1->cursorRect(atMark).center() + QPoint(2, 0);
            QHelpEvent help(QEvent::ToolTip, local, form->Memo1->viewport()->mapToGlobal(local));
            QApplication::sendEvent(form->Memo1->viewport(), &help);
            EXPECT_EQ(QToolTip::text(), errors[0].message);
        }
        EXPECT_EQ(form->Memo1->extraSelections().size(), 2 * errors.size());
        EXPECT_EQ(form->Memo1->Text(), text);
        EXPECT_EQ(form->Memo1->document()->availableUndoSteps(), undoSteps);
        EXPECT_EQ(preview(), file);

        // Typing after the last formula keeps its mark; typing before it drops it.
        const qsizetype marked = errors.size();
        QTextCursor end(form->Memo1->document());
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral(" "));
        EXPECT_EQ(form->ErrorMarks1()->errors().size(), marked);
        QTextCursor(form->Memo1->document()).insertText(QStringLiteral("$"));
        EXPECT_TRUE(form->ErrorMarks1()->errors().isEmpty());
        EXPECT_TRUE(form->Memo1->extraSelections().isEmpty());
    }
}

// In a long text of failing formulas the editor draws the marks around what
// it shows, and the marks of the part scrolled to once it gets there.
TEST(ErrorMarks, MarksFollowTheEditorThroughALongText)
{
    TMemo editor(nullptr);
    editor.resize(400, 300);
    editor.show();
    ErrorMarks marks(&editor);
    QString text;
    QList<FormulaError> errors;
    for (int i = 0; i < 6000; ++i) {
        const qsizetype start = text.size();
        text += QStringLiteral("$\\nope{%1}$ text\n").arg(i);
        errors.append({ start, start + 10, start + 1, start + 6, start + 10, QStringLiteral("no %1").arg(i) });
    }
    editor.setPlainText(text);
    marks.show(text, errors);

    const auto isMarked = [&](const FormulaError& error) {
        const auto selections = editor.extraSelections();
        return std::any_of(selections.cbegin(), selections.cend(), [&](const QTextEdit::ExtraSelection& mark) {
            return mark.cursor.selectionStart() == error.errorAt && mark.cursor.selectionEnd() == error.errorEnd;
        });
    };
    EXPECT_TRUE(isMarked(errors.first()));
    EXPECT_FALSE(isMarked(errors.last()));
    EXPECT_LT(editor.extraSelections().size(), errors.size());

    editor.moveCursor(QTextCursor::End);
    editor.ensureCursorVisible();
    EXPECT_TRUE(isMarked(errors.last()));
    EXPECT_EQ(marks.messageAt(errors[3000].errorAt), QStringLiteral("no 3000"));
}

// A warning (a reference without its label) marks only its place, in
// another colour than an error, with its message; the page's report says
// which it is.
TEST(ErrorMarks, AWarningMarksOnlyItsPlace)
{
    TMemo editor(nullptr);
    editor.show();
    ErrorMarks marks(&editor);
    const QString text = QStringLiteral("See \\ref{x} and $\\nope$.");
    editor.setPlainText(text);
    const QList<FormulaError> errors = FormulaError::listFrom({
        QVariantMap { { "start", 0 }, { "end", 16 }, { "errorAt", 4 }, { "errorEnd", 5 }, { "reach", 16 },
            { "message", "Reference 'x' undefined." }, { "isWarning", true } },
        QVariantMap { { "start", 16 }, { "end", 23 }, { "errorAt", 17 }, { "errorEnd", 22 }, { "reach", 23 },
            { "message", "Undefined control sequence: \\nope" } },
    });
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[0].isWarning && !errors[1].isWarning);
    marks.show(text, errors);
    const auto selections = editor.extraSelections();
    ASSERT_EQ(selections.size(), 3) << "the warning's place; the error's formula and place";
    EXPECT_NE(selections[0].format.underlineColor(), selections[2].format.underlineColor());
    EXPECT_EQ(marks.messageAt(4), QStringLiteral("Reference 'x' undefined."));
}
