#include "app/LastTextRecord.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <unistd.h>

#include <gtest/gtest.h>

// Copies on two displays share one preview file; each gets back its own last
// text, after a crash (its running record is still there) and after a normal
// end, and only its user can read it, with every character as typed.
TEST(LastTextRecord, ACopyGetsBackItsOwnLastText)
{
    QTemporaryDir dir;
    const QString preview = dir.filePath(QStringLiteral("tamsel.tex"));
    QTextDocument a(QStringLiteral("a text")), b(QStringLiteral("b text"));
    {
        LastTextRecord first(preview, QStringLiteral("A"));
        EXPECT_FALSE(first.previousCopyEndedAbnormally());
        EXPECT_FALSE(first.previousText());
        first.follow(&a);
        LastTextRecord other(preview, QStringLiteral("B"));
        other.follow(&b);
        a.setPlainText(QStringLiteral("a,\u00a0edited"));
        EXPECT_TRUE(TestSupport::waitUntil(
            [&] { return TestSupport::readFile(preview + QStringLiteral(".A.running")) == QStringLiteral("a,\u00a0edited").toUtf8(); }, 5000));
        EXPECT_EQ(QFile::permissions(preview + QStringLiteral(".A.running")), QFile::ReadOwner | QFile::WriteOwner
                | QFile::ReadUser | QFile::WriteUser);

        // What a start finds while the record is running: a copy that died.
        LastTextRecord afterCrash(preview, QStringLiteral("A"));
        EXPECT_TRUE(afterCrash.previousCopyEndedAbnormally());
        EXPECT_EQ(afterCrash.previousText(), QStringLiteral("a,\u00a0edited"));
    }
    LastTextRecord afterNormalEnd(preview, QStringLiteral("A"));
    EXPECT_FALSE(afterNormalEnd.previousCopyEndedAbnormally());
    EXPECT_EQ(afterNormalEnd.previousText(), QStringLiteral("a,\u00a0edited"));
    EXPECT_EQ(LastTextRecord(preview, QStringLiteral("B")).previousText(), QStringLiteral("b text"));
}

namespace {

void plant(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

} // namespace

// Only a regular file of the user's own is a record: a link (to a paper of
// the user's, say) is neither read nor written through, and a file someone
// else planted is not taken into the editor.
TEST(LastTextRecord, OnlyARegularFileOfTheUsersOwnIsARecord)
{
    QTemporaryDir dir;
    const QString preview = dir.filePath(QStringLiteral("tamsel.tex"));
    const QString thesis = dir.filePath(QStringLiteral("thesis.tex"));
    plant(thesis, "\\section{Thesis}");
    QFile::setPermissions(thesis, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const QFile::Permissions thesisMode = QFile::permissions(thesis);
    for (const char* suffix : { ".A.running", ".A" }) {
        SCOPED_TRACE(suffix);
        const QString record = preview + QLatin1String(suffix);
        ASSERT_TRUE(QFile::link(thesis, record));
        {
            LastTextRecord start(preview, QStringLiteral("A"));
            EXPECT_FALSE(start.previousText());
            QTextDocument editor(QStringLiteral("mine"));
            start.follow(&editor);
        }
        EXPECT_EQ(TestSupport::readFile(thesis), "\\section{Thesis}");
        EXPECT_EQ(QFile::permissions(thesis), thesisMode);
        EXPECT_EQ(TestSupport::readFile(preview + QStringLiteral(".A")), "mine");
        QFile::remove(preview + QStringLiteral(".A"));
    }
    if (::geteuid() != 0)
        GTEST_SKIP() << "a file of another user needs root to be made";
    const QString planted = preview + QStringLiteral(".A.running");
    plant(planted, "\\input{planted}");
    ASSERT_EQ(::chown(QFile::encodeName(planted).constData(), 12345, 12345), 0);
    LastTextRecord start(preview, QStringLiteral("A"));
    EXPECT_FALSE(start.previousText());
    EXPECT_FALSE(start.previousCopyEndedAbnormally());
}

// A crashed copy's text is kept aside when the next start's editor takes
// another text (the clipboard's), and only then; the new copy's own text is
// recorded as always, never joined to the old one.
TEST(LastTextRecord, ACrashedCopysTextIsKeptAsideUnlessTheEditorTakesIt)
{
    for (const bool isTaken : { false, true }) {
        SCOPED_TRACE(isTaken ? "taken into the editor" : "the clipboard's text instead");
        QTemporaryDir dir;
        const QString preview = dir.filePath(QStringLiteral("tamsel.tex"));
        plant(preview + QStringLiteral(".A.running"), "typed before the crash");
        LastTextRecord start(preview, QStringLiteral("A"));
        QTextDocument editor(isTaken ? QStringLiteral("typed before the crash") : QStringLiteral("from the clipboard"));
        start.follow(&editor);
        EXPECT_EQ(TestSupport::readFile(preview + QStringLiteral(".A.running")), editor.toPlainText().toUtf8());
        const QStringList aside = QDir(dir.path()).entryList({ QStringLiteral("tamsel.tex.A.crashed-*") }, QDir::Files);
        EXPECT_EQ(aside.size(), isTaken ? 0 : 1);
        EXPECT_EQ(start.keptAsidePath().isEmpty(), isTaken);
        if (aside.size() == 1) {
            EXPECT_EQ(start.keptAsidePath(), dir.filePath(aside.first()));
            EXPECT_EQ(TestSupport::readFile(start.keptAsidePath()), "typed before the crash");
            EXPECT_EQ(QFile::permissions(start.keptAsidePath()),
                QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        }
    }
}

// Steady typing, an edit well within every delay, is still recorded.
TEST(LastTextRecord, SteadyTypingIsRecorded)
{
    QTemporaryDir dir;
    const QString preview = dir.filePath(QStringLiteral("tamsel.tex"));
    LastTextRecord record(preview, QStringLiteral("A"));
    QTextDocument editor;
    record.follow(&editor);
    QTextCursor cursor(&editor);
    bool isRecorded = false;
    for (int key = 0; key < 400 && !isRecorded; ++key) {
        cursor.insertText(QStringLiteral("x"));
        TestSupport::pump(LastTextRecord::RecordDelayMs / 20);
        isRecorded = !TestSupport::readFile(preview + QStringLiteral(".A.running")).isEmpty();
    }
    EXPECT_TRUE(isRecorded) << "400 keys, one every twentieth of the delay, and nothing recorded";
}
