#include "Exception.h"
#include "TMemo.h"
#include "TMemoStrings.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using TestSupport::readFile;

namespace {

class ChangeCounter : public QObject {
public:
    void changed(TObject*) { ++changes; }
    int changes = 0;
};

class TMemoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memo.OnChange = TNotifyEvent(&counter, &ChangeCounter::changed);
        QGuiApplication::clipboard()->clear();
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    TMemo memo { nullptr };
    ChangeCounter counter;
    QTemporaryDir dir;
};

} // namespace

TEST_F(TMemoTest, TextHasCrLfWhateverBreaksCameIn)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("a\nb\r\nc\rd\r\n"));
    memo.PasteFromClipboard();
    EXPECT_EQ(memo.Text(), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(memo.Lines()->Count(), 4);
    EXPECT_EQ(memo.Lines()->Strings(2), "c");

    memo.SetText(QStringLiteral("x\ny"));
    EXPECT_EQ(memo.Text(), "x\r\ny");
    EXPECT_EQ(memo.Lines()->Count(), 2);
}

TEST_F(TMemoTest, EmptyEditorHasNoLines)
{
    EXPECT_EQ(memo.Lines()->Count(), 0);
    EXPECT_EQ(memo.Text(), "");
}

TEST_F(TMemoTest, ChangeIsRaisedSynchronouslyForEveryKindOfEdit)
{
    memo.SetText(QStringLiteral("abc"));
    EXPECT_EQ(counter.changes, 1) << "assignment raises exactly once";

    QGuiApplication::clipboard()->setText(QStringLiteral("xy"));
    memo.PasteFromClipboard();
    EXPECT_EQ(counter.changes, 2);

    memo.setFocus();
    QTest::keyClicks(&memo, QStringLiteral("12"));
    EXPECT_EQ(counter.changes, 4);
    QTest::keyClick(&memo, Qt::Key_Backspace);
    EXPECT_EQ(counter.changes, 5);
    memo.undo();
    EXPECT_EQ(counter.changes, 6);
}

TEST_F(TMemoTest, PasteWithoutClipboardTextChangesNothing)
{
    memo.SetText(QStringLiteral("keep"));
    memo.SelectAll();
    counter.changes = 0;
    memo.PasteFromClipboard();
    EXPECT_EQ(memo.Text(), "keep");
    EXPECT_EQ(counter.changes, 0);
}

TEST_F(TMemoTest, SelectAllCopyPasteRoundTrip)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    memo.SelectAll();
    memo.CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before") << "empty editor leaves the clipboard";

    memo.SetText(QStringLiteral("\\frac{a}{b}\n\\sqrt{x}\u00a0y"));
    memo.SelectAll();
    memo.CopyToClipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("\\frac{a}{b}\n\\sqrt{x}\u00a0y"));
    EXPECT_TRUE(memo.textCursor().hasSelection()) << "the selection stays";
    memo.PasteFromClipboard();
    EXPECT_EQ(memo.Text(), QStringLiteral("\\frac{a}{b}\r\n\\sqrt{x}\u00a0y"));
}

TEST_F(TMemoTest, SaveWritesTheTextByteForByte)
{
    const QString path = file("preview.tex");
    memo.Lines()->SaveToFile(path);
    EXPECT_EQ(readFile(path), QByteArray()) << "empty editor, empty file";

    memo.SetText(QStringLiteral("a\nb"));
    memo.Lines()->SaveToFile(path);
    EXPECT_EQ(readFile(path), QByteArray("a\r\nb")) << "no break appended";

    memo.SetText(QStringLiteral("a\nb\n"));
    memo.Lines()->SaveToFile(path);
    EXPECT_EQ(readFile(path), QByteArray("a\r\nb\r\n"));

    memo.SetText(QString::fromUtf8("\xc3\xa4 = \xe2\x88\x91"));
    memo.Lines()->SaveToFile(path);
    EXPECT_EQ(readFile(path), QByteArray("\xc3\xa4 = \xe2\x88\x91")) << "UTF-8 without byte-order mark";

    memo.SetText(QString(10000, u'x') + u'\n' + u'y');
    EXPECT_EQ(memo.Lines()->Strings(0).size(), TMemoStrings::MaxLineLength);
    memo.Lines()->SaveToFile(path);
    EXPECT_EQ(readFile(path).size(), 10003) << "a long line is saved whole";

    memo.SetText(QStringLiteral("z"));
    memo.Lines()->SaveToFile(path);
    EXPECT_EQ(readFile(path), QByteArray("z")) << "a shorter text leaves no trace of the longer";
}

TEST_F(TMemoTest, SaveReportsFilesItCannotCreateOrFill)
{
    memo.SetText(QStringLiteral("x^2"));
    const QString missing = file("no/such/folder/preview.tex");
    try {
        memo.Lines()->SaveToFile(missing);
        FAIL() << "no exception";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + missing);
    }
    // Only a regular file is written: a device (or a FIFO) in its place
    // fails at once instead of blocking or swallowing the text.
    EXPECT_THROW(memo.Lines()->SaveToFile(QStringLiteral("/dev/full")), EFCreateError);
    // A file that cannot grow stands for a full disk.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 1;
    setrlimit(RLIMIT_FSIZE, &tiny);
    try {
        memo.Lines()->SaveToFile(file("full.tex"));
        ADD_FAILURE() << "a full disk must not pass as success";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), "Stream write error");
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
}

TEST_F(TMemoTest, BinaryTextIsKeptAndSavedWithoutCrash)
{
    QString binary;
    for (int c = 1; c < 32; ++c)
        binary += QChar(c);
    binary += QChar(0xD800); // a lone surrogate
    binary += QStringLiteral("end");
    QGuiApplication::clipboard()->setText(binary);
    memo.PasteFromClipboard();
    EXPECT_TRUE(memo.Text().endsWith(QStringLiteral("end")));
    memo.Lines()->SaveToFile(file("binary.tex"));
    EXPECT_TRUE(readFile(file("binary.tex")).endsWith("end"));
}

TEST_F(TMemoTest, AssigningTheTextItHoldsChangesNothing)
{
    memo.SetText(QStringLiteral("a\nb"));
    QTextCursor cursor = memo.textCursor();
    cursor.setPosition(1);
    memo.setTextCursor(cursor);
    counter.changes = 0;
    for (const char* same : { "a\r\nb", "a\nb", "a\rb", "a\u2029b" })
        memo.SetText(QString::fromUtf8(same));
    EXPECT_EQ(counter.changes, 0);
    EXPECT_EQ(memo.textCursor().position(), 1) << "the caret stays where it was";
    memo.SetText(QStringLiteral("a\nb\n"));
    EXPECT_EQ(counter.changes, 1);
}

TEST_F(TMemoTest, UnicodeSeparatorsAreLineBreaksInTextAndLines)
{
    // Pasted, typed in by the editor's own paste, or assigned: the line store
    // counts the lines the text shows.
    const QString text = QStringLiteral("a\u2028b\u2029c");
    QGuiApplication::clipboard()->setText(text);
    memo.PasteFromClipboard();
    EXPECT_EQ(memo.Text(), "a\r\nb\r\nc");
    EXPECT_EQ(memo.Lines()->Count(), 3);
    EXPECT_EQ(memo.Lines()->Strings(1), "b");

    memo.SetText(QString());
    memo.paste();
    EXPECT_EQ(memo.Text(), "a\r\nb\r\nc");
    EXPECT_EQ(memo.Lines()->Count(), 3);

    memo.SetText(text);
    EXPECT_EQ(memo.Lines()->Count(), 3);
    memo.Lines()->SaveToFile(file("separators.tex"));
    EXPECT_EQ(readFile(file("separators.tex")), QByteArray("a\r\nb\r\nc"));
}

TEST_F(TMemoTest, LongLineIsNeverCutInsideASurrogatePair)
{
    const QString clef = QStringLiteral("\U0001D11E");
    struct Case {
        int before; // characters ahead of the pair
        int expectedLength;
    };
    for (const Case c : { Case { 4094, 4096 }, Case { 4095, 4095 }, Case { 4096, 4096 } }) {
        memo.SetText(QString(c.before, u'x') + clef + QString(10, u'y'));
        const QString line = memo.Lines()->Strings(0);
        EXPECT_EQ(line.size(), c.expectedLength) << c.before;
        EXPECT_FALSE(line.back().isHighSurrogate()) << c.before;
    }
}

TEST_F(TMemoTest, SelectionIsHiddenWhileTheEditorLacksTheFocus)
{
    memo.resize(200, 80);
    memo.SetText(QStringLiteral("MMMMMMMM\nMMMMMMMM"));
    memo.SelectAll();
    const QColor highlight = memo.palette().color(QPalette::Active, QPalette::Highlight);
    const auto highlighted = [&] {
        const QImage image = memo.grab().toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == highlight)
                    return true;
        return false;
    };
    ASSERT_FALSE(memo.hasFocus());
    EXPECT_TRUE(memo.HideSelection());
    EXPECT_FALSE(highlighted());
    memo.SetHideSelection(false);
    EXPECT_TRUE(highlighted());
}
