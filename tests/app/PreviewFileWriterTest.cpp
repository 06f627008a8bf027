#include "app/PreviewFileWriter.h"
#include "core/Exception.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>

#include <gtest/gtest.h>

using TestSupport::waitUntil;

namespace {

// The editor's raw text keeps paragraph separators; the file has CR LF.
const QString ShortText = QStringLiteral("x^2") + QChar::ParagraphSeparator + QStringLiteral("+1");
const QByteArray ShortBytes = "x^2\r\n+1";

class PreviewFileWriterTest : public ::testing::Test {
protected:
    PreviewFileWriterTest()
    {
        QObject::connect(&writer, &PreviewFileWriter::written, [this](const PreviewSource& s) { shown.append(s.text); });
        QObject::connect(&writer, &PreviewFileWriter::failed, [this](const QString& m) { failures.append(m); });
    }

    bool settle() { return waitUntil([&] { return !writer.isWriting(); }, 120000); }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tamsel.tex"));
    const QString longText = QString(5 * 1024 * 1024, u'a');
    PreviewFileWriter writer;
    QStringList shown;
    QStringList failures;
};

} // namespace

// Writes handed over faster than they are done, alternating between 5 MB and
// a few bytes: the file ends with the last text, whole, and only that one is
// reported, however the workers' runs fall.
TEST_F(PreviewFileWriterTest, RapidWritesEndWithTheLastTextAndReportOnlyIt)
{
    for (const int count : { 1, 2, 7, 8 }) {
        shown.clear();
        for (int i = 0; i < count; ++i)
            writer.writeLater(path, i % 2 ? ShortText : longText);
        ASSERT_TRUE(settle());
        const bool endsShort = count % 2 == 0;
        EXPECT_EQ(TestSupport::readFile(path), endsShort ? ShortBytes : longText.toUtf8()) << count;
        ASSERT_EQ(shown.size(), 1) << count;
        if (endsShort)
            EXPECT_EQ(shown[0], QStringLiteral("x^2\n+1"));
        else
            EXPECT_TRUE(longText.startsWith(shown[0]) && !shown[0].isEmpty()) << count;
    }
    EXPECT_TRUE(failures.isEmpty());
}

// The close writes at once while a worker may still be writing an earlier
// text: the file holds the later text, and the earlier one never reports.
TEST_F(PreviewFileWriterTest, AWriteNowSupersedesTheWriteOnItsWay)
{
    for (int round = 0; round < 3; ++round) {
        writer.writeLater(path, longText);
        writer.writeNow(path, ShortText);
        EXPECT_EQ(TestSupport::readFile(path), ShortBytes);
        ASSERT_TRUE(settle());
        EXPECT_EQ(TestSupport::readFile(path), ShortBytes) << "an earlier text landed last";
    }
    EXPECT_TRUE(shown.isEmpty());
}

// A file that cannot be written is reported as the editor's save reports it,
// whether written at once or by a worker, and nothing is shown.
TEST_F(PreviewFileWriterTest, AFailedWriteIsReportedAndShowsNothing)
{
    QFile notAFolder(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    const QString badPath = dir.filePath(QStringLiteral("file/tamsel.tex"));
    writer.writeLater(badPath, longText);
    ASSERT_TRUE(settle());
    EXPECT_EQ(failures, QStringList { QStringLiteral("Cannot create file ") + badPath });
    EXPECT_THROW(writer.writeNow(badPath, ShortText), EFCreateError);
    EXPECT_TRUE(shown.isEmpty());
}

// A writer destroyed while its worker writes: the worker finishes the file
// and touches nothing of the writer (the sanitizers would see it).
TEST_F(PreviewFileWriterTest, AWorkerOutlivingItsWriterLeavesItAlone)
{
    auto* gone = new PreviewFileWriter;
    bool isReported = false;
    QObject::connect(gone, &PreviewFileWriter::written, [&] { isReported = true; });
    gone->writeLater(path, longText);
    delete gone;
    ASSERT_TRUE(waitUntil([&] { return TestSupport::readFile(path).size() == longText.size(); }, 120000));
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_FALSE(isReported);
}
