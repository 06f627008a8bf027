#include "MainFormFixture.h"
#include "settings/TFormStorage.h"
#include "controls/TMemo.h"
#include "controls/TMemoStrings.h"
#include "controls/TMenuItem.h"
#include "core/TTimer.h"
#include "app/preview/TWebBrowser.h"
#include "app/PreviewFileWriter.h"
#include "platform/FileReplacement.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QWebEnginePage>

#include <atomic>

#include <csignal>
#include <sys/stat.h>

using TestSupport::waitUntil;

namespace {

class RefreshCycle : public MainFormFixture {
protected:
    void type(const QString& text) { QTest::keyClicks(form->Memo1, text); }

    // The TeX source of the formulas the pane shows, as the page holds them.
    QString shownSource()
    {
        EXPECT_TRUE(waitUntil([&] { return runInPage(QString::fromUtf8(TestSupport::EveryFormulaHasItsMathml)).toBool(); }, 20000));
        return runInPage(QStringLiteral("Array.from(document.querySelectorAll('#content annotation'), a => a.textContent).join('|')"))
            .toString();
    }
};

} // namespace

TEST_F(RefreshCycle, FirstStartPastesTheClipboardAndPreviewsIt)
{
    startWith(QStringLiteral("x^2\n+1"));
    EXPECT_EQ(form->PreviewFileName(), previewPath());
    EXPECT_EQ(form->FormStorage1->IniFileName(), dir.filePath(QStringLiteral("tamsel.ini")));
    EXPECT_EQ(form->Memo1->Text(), "x^2\r\n+1");
    EXPECT_EQ(preview(), QByteArray("x^2\r\n+1"));
    EXPECT_FALSE(form->Timer1->IsArmed()) << "the first refresh leaves the timer off";
    EXPECT_TRUE(form->EveryHalfSecond1->Checked());
    EXPECT_EQ(form->Timer1->Interval(), 5000u) << "first start: half a second shown, five seconds used";
}

TEST_F(RefreshCycle, EachRefreshShowsTheTextItSaved)
{
    startWith(QStringLiteral("x^2"));
    ASSERT_TRUE(waitUntil([&] { return shownSource() == "x^2"; }, 30000));
    for (const char* text : { "y^3", "\\frac{a}{b}", "z" }) {
        QSignalSpy rendered(form->WebBrowser1, &TWebBrowser::rendered);
        form->Memo1->SetText(QString::fromUtf8(text));
        form->Now1Click(form);
        ASSERT_TRUE(rendered.wait(20000));
        EXPECT_EQ(shownSource(), QString::fromUtf8(text)) << "the pane is a refresh behind";
    }
}

TEST_F(RefreshCycle, EmptyClipboardWritesAnEmptyFile)
{
    QFile stale(previewPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("old text");
    stale.close();
    startWith({});
    EXPECT_TRUE(QFile::exists(previewPath()));
    EXPECT_EQ(preview(), QByteArray());
}

// A clipboard whose owner does not answer (a stopped keeper) is not an empty
// one: the start keeps the last text it can find instead of writing nothing.
TEST_F(RefreshCycle, AClipboardOwnerThatDoesNotAnswerKeepsThePreviewFile)
{
    QFile stale(previewPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("x^2\r\n+1");
    stale.close();
    QGuiApplication::clipboard()->setText(QStringLiteral("ours"));
    QProcess owner;
    owner.start(QStringLiteral("xclip"), { "-quiet", "-selection", "clipboard" });
    ASSERT_TRUE(owner.waitForStarted(5000));
    owner.write("held");
    owner.closeWriteChannel();
    ASSERT_TRUE(waitUntil([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
    ::kill(pid_t(owner.processId()), SIGSTOP);
    Application->ResetForTesting();
    Application->SetExeName(dir.filePath(QStringLiteral("tamsel")));
    Application->CreateForm(form);
    EXPECT_EQ(form->Memo1->Text(), "x^2\r\n+1");
    EXPECT_EQ(preview(), "x^2\r\n+1");
    ::kill(pid_t(owner.processId()), SIGKILL);
    owner.waitForFinished(5000);
}

TEST_F(RefreshCycle, BurstOfEditsPostponesTheRefreshUntilTheDelayPasses)
{
    startWith(QStringLiteral("a"));
    form->Timer1->SetInterval(500);
    form->Memo1->setFocus();
    QElapsedTimer clock;
    clock.start();
    qint64 lastKey = 0;
    for (int i = 0; i < 4; ++i) {
        type(QStringLiteral("b"));
        lastKey = clock.elapsed();
        TestSupport::pump(150);
        EXPECT_EQ(preview(), QByteArray("a")) << "refreshed during the burst";
    }
    ASSERT_TRUE(waitUntil([&] { return preview() != "a"; }));
    EXPECT_GE(clock.elapsed() - lastKey, 495) << "refreshed before the delay after the last key";
    EXPECT_EQ(preview(), QByteArray("abbbb"));
    EXPECT_FALSE(form->Timer1->IsArmed()) << "a refresh stops the timer";
}

TEST_F(RefreshCycle, ManualModeTicksWithoutEffectUntilNow)
{
    startWith(QStringLiteral("a"));
    form->Timer1->SetInterval(40);
    form->ManuallyOnly1Click(form->ManuallyOnly1);
    EXPECT_TRUE(form->ManuallyOnly1->Checked());
    EXPECT_FALSE(form->EveryHalfSecond1->Checked());
    form->Memo1->setFocus();
    type(QStringLiteral("b"));
    TestSupport::pump(200);
    EXPECT_EQ(preview(), QByteArray("a"));
    EXPECT_TRUE(form->Timer1->IsArmed()) << "keeps ticking idly";

    form->Now1Click(form->Now1);
    EXPECT_EQ(preview(), QByteArray("ab"));
    EXPECT_FALSE(form->Timer1->IsArmed());
}

TEST_F(RefreshCycle, DelayEntriesSetTheIntervalAndTheirCheck)
{
    startWith({});
    const QList<QPair<TMenuItem*, uint>> delays = {
        { form->Immediately1, 1 },
        { form->EveryHalfSecond1, 500 },
        { form->Every1Second1, 1000 },
        { form->Every2Seconds1, 2000 },
        { form->Every5Seconds1, 5000 },
        { form->Every10Seconds1, 10000 },
    };
    for (const auto& [item, interval] : delays) {
        item->Click();
        EXPECT_EQ(form->Timer1->Interval(), interval);
        for (const auto& other : delays)
            EXPECT_EQ(other.first->Checked(), other.first == item);
        EXPECT_FALSE(form->ManuallyOnly1->Checked());
    }
    form->ManuallyOnly1Click(form->ManuallyOnly1);
    EXPECT_EQ(form->Timer1->Interval(), 10000u) << "manual keeps the interval";
    EXPECT_FALSE(form->Every10Seconds1->Checked());
}

TEST_F(RefreshCycle, PreviewFileFollowsTheEditorByteForByte)
{
    startWith(QStringLiteral("a much longer first text\nwith two lines\n"));
    EXPECT_EQ(preview(), QByteArray("a much longer first text\r\nwith two lines\r\n"));
    form->Memo1->SetText(QStringLiteral("short"));
    form->Now1Click(form->Now1);
    EXPECT_EQ(preview(), QByteArray("short"));
    form->Now1Click(form->Now1);
    EXPECT_EQ(preview(), QByteArray("short")) << "an unchanged text is written again, the same";
    form->Memo1->SetText({});
    form->Now1Click(form->Now1);
    EXPECT_EQ(preview(), QByteArray());
}

TEST_F(RefreshCycle, UnwritableFolderLeavesThePreviewAndShowsNothing)
{
    // A folder that is a plain file cannot be written, even by root.
    QFile notAFolder(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    startWith(QStringLiteral("x^2"), dir.filePath(QStringLiteral("file/tamsel")));
    form->Memo1->setFocus();
    type(QStringLiteral("y"));
    form->Now1Click(form->Now1);
    EXPECT_FALSE(form->Timer1->IsArmed());
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(form->Memo1->Text(), "x^2y") << "the text is kept";

    // A text long enough to be written by a worker fails the same way.
    QSignalSpy failed(form->PreviewWriter(), &PreviewFileWriter::failed);
    const QString longText(1024 * 1024, u'z');
    form->Memo1->SetText(longText);
    form->Now1Click(form->Now1);
    ASSERT_TRUE(waitUntil([&] { return !form->PreviewWriter()->isWriting(); }, 60000));
    EXPECT_EQ(failed.count(), 1);
    EXPECT_FALSE(form->Timer1->IsArmed());
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(form->Memo1->Text(), longText) << "the text is kept";
}

// Refreshes come faster than a long text is written, alternating between
// 5 MB and a formula: the long texts are written off the interface thread,
// and the page and the file end with the last text, whole.
TEST_F(RefreshCycle, RapidRefreshesOfLongAndShortTextsEndWithTheLast)
{
    startWith(QStringLiteral("x"));
    std::atomic<bool> isWrittenElsewhere = false;
    FileReplacement::ReplacedObserver = [&](const QByteArray&) {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            isWrittenElsewhere = true;
    };
    const QString longText(5 * 1024 * 1024, u'a');
    for (int i = 0; i < 6; ++i) {
        form->Memo1->SetText(i % 2 ? QStringLiteral("y^{%1}").arg(i) : longText);
        form->Now1Click(form->Now1);
    }
    const bool isSettled = waitUntil([&] { return !form->PreviewWriter()->isWriting(); }, 120000);
    FileReplacement::ReplacedObserver = nullptr;
    ASSERT_TRUE(isSettled);
    EXPECT_TRUE(isWrittenElsewhere);
    EXPECT_EQ(preview(), QByteArray("y^{5}"));
    EXPECT_TRUE(waitUntil([&] { return shownSource() == "y^{5}"; }, 60000));
    EXPECT_EQ(form->WebBrowser1->shownText(), "y^{5}");
}

TEST_F(RefreshCycle, HugeClipboardTextIsPastedAndSavedWhole)
{
    QString line = QStringLiteral("\\frac{a_{%1}}{b} + \\sqrt{x} = y^2 \\cdot z_{n}\n");
    QString huge;
    huge.reserve(10 * 1024 * 1024 + 100);
    for (int i = 0; huge.size() < 10 * 1024 * 1024; ++i)
        huge += line.arg(i);
    startWith(huge);
    const QByteArray expected = form->Memo1->Text().toUtf8();
    EXPECT_EQ(form->Memo1->Lines()->Count(), huge.count(u'\n'));
    // So long a text is written by a worker.
    ASSERT_TRUE(waitUntil([&] { return !form->PreviewWriter()->isWriting(); }, 60000));
    EXPECT_EQ(preview().size(), huge.toUtf8().size() + huge.count(u'\n'));
    EXPECT_EQ(preview(), expected);
}

TEST_F(RefreshCycle, HugeSingleLineIsPastedAndSavedWhole)
{
    const QString huge(10 * 1024 * 1024, u'x');
    startWith(huge);
    ASSERT_TRUE(waitUntil([&] { return !form->PreviewWriter()->isWriting(); }, 60000));
    EXPECT_EQ(preview().size(), huge.size());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(form->Memo1->Lines()->Count(), 1);
}

// Where the executable's path has no name, no file is made anywhere, and a
// preview file that is a FIFO does not hold the start up; the text is kept.
TEST_F(RefreshCycle, PreviewFilesThatCannotBeWrittenNeverHoldTheStartOrGoElsewhere)
{
    QTemporaryDir current;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(current.path()));
    Application->ResetForTesting();
    QGuiApplication::clipboard()->setText(QStringLiteral("x^2"));
    Application->SetExeName(QString());
    Application->CreateForm(form);
    QDir::setCurrent(previous);
    EXPECT_EQ(form->PreviewFileName(), QString());
    EXPECT_EQ(form->FormStorage1->IniFileName(), QString());
    EXPECT_TRUE(QDir(current.path()).isEmpty()) << "nothing in the current folder";
    EXPECT_EQ(form->Memo1->Text(), "x^2");

    Application->ResetForTesting();
    ASSERT_EQ(::mkfifo(QFile::encodeName(previewPath()).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    startWith(QStringLiteral("y^2"));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(form->Memo1->Text(), "y^2");
    EXPECT_TRUE(boxes.boxes().isEmpty());
}

// The program closing while a worker writes a long text: the close writes
// the text itself, after that worker and in its stead, still copies it to the
// clipboard, and the window goes without waiting for the worker, which then
// leaves it alone.
TEST_F(RefreshCycle, ClosingDuringALongWriteKeepsTheText)
{
    startWith(QStringLiteral("x"));
    form->show();
    const QString longText(5 * 1024 * 1024, u'b');
    form->Memo1->SetText(longText);
    form->Now1Click(form->Now1);
    form->Exit1Click(form->Exit1);
    EXPECT_EQ(preview(), longText.toUtf8());
    EXPECT_EQ(QGuiApplication::clipboard()->text().size(), longText.size());
    Application->ResetForTesting();
    form = nullptr;
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(preview(), longText.toUtf8());
}
