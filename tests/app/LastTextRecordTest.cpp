#include "app/LastTextRecord.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

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
