#include "core/Exception.h"
#include "controls/TMemo.h"
#include "controls/TMemoStrings.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Only a regular file (or a new one) is written: anything else of that name
// fails at once, as a file that cannot be created, and is left as it was.
TEST_F(TMemoTest, SaveWritesOnlyRegularFiles)
{
    memo.SetText(QStringLiteral("x^2"));
    const QString fifo = file("fifo.tex");
    const QString fifoWithReader = file("read.tex");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifoWithReader).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(fifoWithReader).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.tex")));

    const QString cases[] = { fifo, fifoWithReader, file("folder.tex"), QStringLiteral("/dev/full"),
        QStringLiteral("/dev/null") };
    for (const QString& path : cases) {
        try {
            memo.Lines()->SaveToFile(path);
            ADD_FAILURE() << "written: " << path.toStdString();
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.Message(), "Cannot create file " + path);
        }
    }
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "nothing reached the FIFO's reader";
    ::close(reader);
    EXPECT_TRUE(QFileInfo(fifo).isFile() == false && QFileInfo::exists(fifo)) << "the FIFO is still there";
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

// Another program's clipboard text is pasted as it offers it, a large one in
// pieces; an owner that does not answer costs at most a second or two, and
// the editor keeps its text, as with an empty clipboard.
TEST_F(TMemoTest, PasteFromAnotherProgramIsBoundedInTime)
{
    const QByteArray large = QByteArray("x").repeated(1024 * 1024);
    const struct {
        const char* what;
        QByteArray bytes;
        const char* type;
        bool answers;
        QString expected;
    } cases[] = {
        { "UTF-8", "a\n\xe2\x88\x91", "UTF8_STRING", true, QString::fromUtf8("a\r\n\xe2\x88\x91") },
        { "one megabyte, in pieces", large, "UTF8_STRING", true, QString::fromLatin1(large) },
        { "an owner that does not answer", "new", "UTF8_STRING", false, QStringLiteral("old") },
        // It answers a request for text with the image: no text.
        { "an image", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "image/png", true, QStringLiteral("old") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QProcess owner;
        owner.start(QStringLiteral("xclip"), { "-quiet", "-selection", "clipboard", "-t", c.type, "-i" });
        ASSERT_TRUE(owner.waitForStarted(5000));
        owner.write(c.bytes);
        owner.closeWriteChannel();
        ASSERT_TRUE(TestSupport::waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard()
            && !QGuiApplication::clipboard()->mimeData()->formats().isEmpty(); }));
        if (!c.answers)
            ::kill(pid_t(owner.processId()), SIGSTOP);

        for (const bool byKey : { false, true }) {
            memo.SetText(QStringLiteral("old"));
            memo.SelectAll();
            QElapsedTimer clock;
            clock.start();
            if (byKey)
                QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
            else
                memo.PasteFromClipboard();
            EXPECT_LT(clock.elapsed(), 2500) << (byKey ? "Ctrl+V" : "paste");
            EXPECT_EQ(memo.Text(), c.expected) << (byKey ? "Ctrl+V" : "paste");
        }

        ::kill(pid_t(owner.processId()), SIGCONT);
        owner.kill();
        owner.waitForFinished(5000);
    }
}

// The editor redraws only the caret's few pixels for a blink, so the caret
// blinks in a line of any length, and the platform's blink is left alone.
TEST_F(TMemoTest, CaretBlinksInAVeryLongLineAsElsewhere)
{
    const int flashTime = QApplication::cursorFlashTime();
    {
        TMemo editor(nullptr);
        editor.SetText(QStringLiteral("short\n") + QString(100000, u'x'));
        for (const int line : { 0, 1, 0, 1 }) {
            QTextCursor cursor(editor.document()->findBlockByNumber(line));
            editor.setTextCursor(cursor);
            EXPECT_EQ(editor.IsCaretBlinking(), flashTime > 0) << "line " << line;
            EXPECT_EQ(QApplication::cursorFlashTime(), flashTime) << "line " << line;
        }
    }
    EXPECT_EQ(QApplication::cursorFlashTime(), flashTime);
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

// A long line keeps its shaped glyphs between edits; what the user sees and
// gets must not differ from a short line, wrapped or not, and after the font grows.
TEST_F(TMemoTest, LongLineBehavesLikeAShortOne)
{
    for (const int length : { 8, 30000 }) {
        const QString half(length / 2, u'x');
        memo.SetText(half + half);
        memo.show();
        QTextCursor cursor = memo.textCursor();
        cursor.setPosition(length / 2);
        memo.setTextCursor(cursor);
        QTest::keyClicks(&memo, QStringLiteral("ab"));
        for (const auto scrollBars : { TMemo::ssNone, TMemo::ssBoth }) {
            memo.SetScrollBars(scrollBars);
            memo.setFont(QFont(memo.font().family(), memo.font().pointSize() + 4));
            EXPECT_EQ(memo.cursorForPosition(memo.cursorRect().center()).position(), length / 2 + 2) << length;
        }
        QTest::keyClick(&memo, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(&memo, Qt::Key_Left, Qt::ShiftModifier);
        memo.CopyToClipboard();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "ab") << length;
        EXPECT_EQ(memo.Lines()->Strings(0), (half + "ab" + half).left(TMemoStrings::MaxLineLength)) << length;
        QTest::keyClick(&memo, Qt::Key_End);
        EXPECT_EQ(memo.textCursor().position(), length + 2) << length;
        QTest::keyClick(&memo, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(memo.Text(), half + half) << length;
        memo.SelectAll();
        memo.CopyToClipboard();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), half + half) << length;
    }
}
