#include "settings/ProfileFile.h"
#include "settings/ProfileText.h"
#include "core/DestructionScope.h"
#include "platform/FileReplacement.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QTemporaryDir>

#include <optional>
#include <thread>
#include <vector>

#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

struct WriteCase {
    const char* name;
    QByteArray before;
    const char* section;
    const char* key;
    const char* value;
    QByteArray after;
};

} // namespace

TEST(ProfileText, WritesChangeOnlyWhatTheyMust)
{
    const WriteCase cases[] = {
        { "new file", "", "S", "k", "v", "[S]\r\nk=v\r\n" },
        { "replace in place, case-insensitive", "[s]\r\nK=old\r\nz=1\r\n", "S", "k", "new", "[s]\r\nK=new\r\nz=1\r\n" },
        { "new key at end of section", "[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n", "a", "c", "3", "[A]\r\na=1\r\nc=3\r\n\r\n[B]\r\nb=2\r\n" },
        { "new section at end", "[A]\r\na=1\r\n", "B", "b", "2", "[A]\r\na=1\r\n[B]\r\nb=2\r\n" },
        { "LF file keeps LF", "[A]\na=1\n", "A", "b", "2", "[A]\na=1\nb=2\n" },
        { "CR file keeps CR", "[A]\ra=1\r", "A", "b", "2", "[A]\ra=1\rb=2\r" },
        { "no final line break", "[A]\r\na=1", "A", "b", "2", "[A]\r\na=1\r\nb=2\r\n" },
        { "byte-order mark kept", "\xEF\xBB\xBF[A]\na=1\n", "A", "a", "2", "\xEF\xBB\xBF[A]\na=2\n" },
        { "blanks around names", "[ A ]\n  key  =  1\n", "a", "KEY", "2", "[ A ]\n  key  =2\n" },
        { "duplicate keys: first one", "[A]\na=1\na=2\n", "A", "a", "3", "[A]\na=3\na=2\n" },
        { "garbage and keys without = kept", QByteArrayLiteral("\x01\xFF\xFE\n[A]\nnoequals\n\0x\n"), "A", "k", "v", QByteArrayLiteral("\x01\xFF\xFE\n[A]\nnoequals\n\0x\nk=v\n") },
        { "UTF-8 value", "", "S", "k", "\xC3\xA4\xE2\x82\xAC", "[S]\r\nk=\xC3\xA4\xE2\x82\xAC\r\n" },
    };
    for (const WriteCase& c : cases) {
        ProfileText profile = ProfileText::parse(c.before);
        EXPECT_TRUE(profile.setValue(QString::fromUtf8(c.section), QString::fromUtf8(c.key), QString::fromUtf8(c.value))) << c.name;
        EXPECT_EQ(profile.serialize(), c.after) << c.name;
    }
}

TEST(ProfileText, RemovingASectionTakesAllItsLinesAndEveryDuplicate)
{
    ProfileText profile = ProfileText::parse("top\n[A]\na=1\n[b]\nb=2\n;c\n[B]\nb=3\n[C]\nc=1\n");
    profile.removeSection(QStringLiteral("B"));
    EXPECT_EQ(profile.serialize(), "top\n[A]\na=1\n[C]\nc=1\n");
}

TEST(ProfileText, ReadsAndItsRules)
{
    const ProfileText profile = ProfileText::parse(QByteArrayLiteral(
        "k=outside\r\n[A]\r\n k = \"quoted\" \r\nsingle='x'\r\nonce=\"\"a\"\"\r\nhalf=\"a\r\nempty=\r\n"
        "mixed=\"x'\r\ndup=1\r\ndup=2\r\n[A]\r\nlater=1\r\n[B]\nx=nul\0in\n"));
    const struct {
        const char* section;
        const char* key;
        std::optional<QString> raw;
        QString read;
    } cases[] = {
        { "A", "K", QStringLiteral("\"quoted\""), QStringLiteral("quoted") },
        { "a", "single", QStringLiteral("'x'"), QStringLiteral("x") },
        { "A", "once", QStringLiteral("\"\"a\"\""), QStringLiteral("\"a\"") },
        { "A", "half", QStringLiteral("\"a"), QStringLiteral("\"a") },
        { "A", "mixed", QStringLiteral("\"x'"), QStringLiteral("\"x'") },
        { "A", "empty", QString(), QString() },
        { "A", "dup", QStringLiteral("1"), QStringLiteral("1") },
        { "A", "later", std::nullopt, {} },
        { "B", "k", std::nullopt, {} },
        { "B", "x", QString::fromUtf8("nul\0in", 6), QString::fromUtf8("nul\0in", 6) },
    };
    for (const auto& c : cases) {
        const auto raw = profile.rawValue(QString::fromUtf8(c.section), QString::fromUtf8(c.key));
        EXPECT_EQ(raw.has_value(), c.raw.has_value()) << c.key;
        if (raw && c.raw) {
            EXPECT_EQ(*raw, *c.raw) << c.key;
            EXPECT_EQ(ProfileText::readBack(*raw), c.read) << c.key;
        }
    }
}

TEST(ProfileText, ReadsAreCutAt1023Characters)
{
    const QString longValue(5000, u'x');
    EXPECT_EQ(ProfileText::readBack(longValue).size(), 1023);
    EXPECT_EQ(ProfileText::readBack(u'"' + longValue + u'"'), longValue.left(1023));
    // A character outside the basic plane is never cut in half.
    const QString astral = QString(1022, u'x') + QString::fromUtf8("\xF0\x9F\x98\x80");
    EXPECT_EQ(ProfileText::readBack(astral).size(), 1022);
}

TEST(ProfileText, RefusesWhatOneLineCannotHold)
{
    ProfileText profile;
    for (const auto& [section, key, value] : std::initializer_list<std::tuple<const char*, const char*, const char*>> {
             { "", "k", "v" }, { "a]b", "k", "v" }, { "S", "", "v" }, { "S", "a=b", "v" },
             { "S", "[k", "v" }, { "S", "k", "two\nlines" }, { "S\r", "k", "v" } })
        EXPECT_FALSE(profile.setValue(QString::fromUtf8(section), QString::fromUtf8(key), QString::fromUtf8(value)))
            << section << "/" << key;
    EXPECT_TRUE(profile.serialize().isEmpty());
}

TEST(ProfileFile, CreatesOnFirstWriteAndReadsBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    EXPECT_EQ(ProfileFile::ReadString(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("def")), "def");
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_EQ(ProfileFile::ReadString(path, QStringLiteral("s"), QStringLiteral("K"), QStringLiteral("def")), "v");
    ASSERT_TRUE(ProfileFile::EraseSection(path, QStringLiteral("S")));
    EXPECT_EQ(ProfileFile::ReadString(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("def")), "def");
    EXPECT_TRUE(QFile::permissions(path).testFlag(QFile::ReadOther)) << "an ordinary file, not a private temporary one";
    // Nothing is left beside the file: no temporary file, no lock.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("a.ini") });
}

TEST(ProfileFile, WritesThatCannotHappenReportFailureAndChangeNothing)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("folder.ini"));
    QDir().mkpath(folder);
    EXPECT_FALSE(ProfileFile::WriteString(folder, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_EQ(ProfileFile::ReadString(folder, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("d")), "d");

    const QString readOnly = dir.filePath(QStringLiteral("ro.ini"));
    ASSERT_TRUE(ProfileFile::WriteString(readOnly, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")));
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadUser);
    EXPECT_FALSE(ProfileFile::WriteString(readOnly, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w")));
    EXPECT_FALSE(ProfileFile::EraseSection(readOnly, QStringLiteral("S")));
    EXPECT_EQ(ProfileFile::ReadString(readOnly, QStringLiteral("S"), QStringLiteral("k"), {}), "v");

    // Too large to be read whole: neither read nor written.
    const QString huge = dir.filePath(QStringLiteral("huge.ini"));
    ASSERT_TRUE(ProfileFile::WriteString(huge, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")));
    ASSERT_TRUE(QFile::resize(huge, 65 * 1024 * 1024));
    EXPECT_EQ(ProfileFile::ReadString(huge, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("d")), "d");
    EXPECT_FALSE(ProfileFile::WriteString(huge, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w")));
    EXPECT_EQ(QFileInfo(huge).size(), 65 * 1024 * 1024);
}

TEST(ProfileFile, ConcurrentWritersLoseNoKeys)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&path, w] {
            for (int i = 0; i < 20; ++i)
                ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("k%1_%2").arg(w).arg(i), QString::number(i));
        });
    for (auto& writer : writers)
        writer.join();
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(ProfileFile::ReadString(path, QStringLiteral("S"), QStringLiteral("k%1_%2").arg(w).arg(i), {}), QString::number(i));
}

// A store that has read keeps what another copy saved after that read.
TEST(ProfileFile, AWriteAfterAnotherCopySavedKeepsItsKeys)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    ASSERT_TRUE(ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("mine"), QStringLiteral("1")));
    ProfileFile store(path);
    EXPECT_EQ(store.readString(QStringLiteral("S"), QStringLiteral("mine"), {}), "1");
    ASSERT_TRUE(ProfileFile::WriteString(path, QStringLiteral("Other"), QStringLiteral("theirs"), QStringLiteral("2")));
    ASSERT_TRUE(store.writeString(QStringLiteral("S"), QStringLiteral("mine"), QStringLiteral("3")));
    ASSERT_TRUE(store.commit());
    EXPECT_EQ(ProfileFile::ReadString(path, QStringLiteral("Other"), QStringLiteral("theirs"), {}), "2");
    EXPECT_EQ(ProfileFile::ReadString(path, QStringLiteral("S"), QStringLiteral("mine"), {}), "3");
}

// While another copy holds the lock, the window keeps painting: the event
// loop runs (a timer fires) during the wait, except inside a destruction.
TEST(ProfileFile, AWaitForTheLockKeepsTheEventLoopGoingOutsideADestruction)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    for (const bool isDestroying : { false, true }) {
        QProcess holder;
        holder.start(QStringLiteral("flock"), { path + QStringLiteral(".lock"), QStringLiteral("sleep"), QStringLiteral("0.3") });
        ASSERT_TRUE(holder.waitForStarted());
        ASSERT_TRUE(TestSupport::waitUntil([&] { return QFile::exists(path + QStringLiteral(".lock")); }));
        QThread::msleep(50); // the holder has taken the lock by now
        bool hasTicked = false;
        QTimer::singleShot(10, [&] { hasTicked = true; });
        std::optional<DestructionScope> destruction;
        if (isDestroying)
            destruction.emplace();
        EXPECT_TRUE(ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")));
        EXPECT_EQ(hasTicked, !isDestroying);
        destruction.reset();
        holder.waitForFinished();
        TestSupport::pump(20);
    }
}

namespace {

// A process that takes the settings file's lock and then busies itself (or
// stops), as another copy whose save a loaded machine makes slow.
pid_t lockHolder(const QString& lockPath, int busyMs, bool stops)
{
    const QByteArray path = QFile::encodeName(lockPath);
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT, 0644);
        ::flock(fd, LOCK_EX);
        ::write(ready[1], "r", 1);
        if (stops)
            ::raise(SIGSTOP);
        timespec start {}, now {};
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        do
            ::clock_gettime(CLOCK_MONOTONIC, &now);
        while ((now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000 < busyMs);
        ::_exit(0);
    }
    char byte = 0;
    ::close(ready[1]);
    const bool isReady = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    return isReady ? pid : -1;
}

} // namespace

// A save waits for another copy's save as long as that copy is busy, however
// long a loaded machine makes it; a holder that makes no progress (stopped
// here) costs a bounded wait, and the save then fails.
TEST(ProfileFile, ASaveWaitsForABusyHolderButNotForAStoppedOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    const struct {
        const char* what;
        bool stops;
        bool isSaved;
    } cases[] = {
        { "busy for three times the old half second", false, true },
        { "stopped while holding the lock", true, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const pid_t holder = lockHolder(path + QStringLiteral(".lock"), 1500, c.stops);
        ASSERT_GT(holder, 0);
        EXPECT_EQ(ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("k"), QString::fromLatin1(c.what)), c.isSaved);
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        EXPECT_EQ(ProfileFile::ReadString(path, QStringLiteral("S"), QStringLiteral("k"), {}) == QLatin1String(c.what), c.isSaved);
    }
}

// The lock is held until the file is replaced: a writer between its
// replacement and its release still keeps every other writer out.
TEST(ProfileFile, TheLockOutlastsTheReplacement)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    int replacements = 0;
    FileReplacement::ReplacedObserver = [&](const QByteArray&) {
        ++replacements;
        const int fd = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0) << "the lock file is gone";
        if (fd >= 0) {
            EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0) << "another writer could take the lock";
            ::close(fd);
        }
        EXPECT_EQ(ProfileFile(path).readString(QStringLiteral("S"), QStringLiteral("k"), {}), "v");
    };
    EXPECT_TRUE(ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")));
    FileReplacement::ReplacedObserver = nullptr;
    EXPECT_EQ(replacements, 1);
}
