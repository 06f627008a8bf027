#include "Exception.h"
#include "ProfileFile.h"
#include "TMemoStrings.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using TestSupport::readFile;

namespace {

// The two files the program replaces: the preview file and the settings file.
struct Writer {
    const char* name;
    QByteArray oldBytes;
    QByteArray newBytes;
    mode_t newFileMode;
    std::function<bool(const QString&)> write;
};

mode_t umaskNow()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

std::vector<Writer> writers()
{
    const QString text(300, u'n');
    return {
        { "preview", QByteArray(400, 'o'), text.toUtf8(), 0600,
            [text](const QString& path) {
                const QTextDocument document(text);
                try {
                    TMemoStrings(&document).SaveToFile(path);
                    return true;
                } catch (const Exception&) {
                    return false;
                }
            } },
        { "settings", "[S]\r\nk=" + QByteArray(400, 'o') + "\r\n", "[S]\r\nk=" + text.toUtf8() + "\r\n", 0666 & ~umaskNow(),
            [text](const QString& path) { return ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("k"), text); } },
    };
}

void put(const QString& path, const QByteArray& bytes, mode_t mode = 0640)
{
    QFile::remove(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

mode_t modeOf(const QString& path)
{
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status.st_mode;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

TEST(FileReplacement, AReaderFindsTheOldOrTheNewFileWhole)
{
    for (const Writer& w : writers()) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file"));
        put(path, w.oldBytes);
        QFile reader(path);
        ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
        ASSERT_TRUE(w.write(path)) << w.name;
        EXPECT_EQ(readFile(path), w.newBytes) << w.name;
        EXPECT_EQ(reader.readAll(), w.oldBytes) << w.name << ": one who opened the old file reads it whole";
        EXPECT_EQ(modeOf(path) & 07777, 0640u) << w.name << ": the mode is kept";

        // A full disk part way: the old file stays whole, nothing is left beside it.
        put(path, w.oldBytes);
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny = old;
        tiny.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        const bool isWritten = w.write(path);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(isWritten) << w.name;
        EXPECT_EQ(readFile(path), w.oldBytes) << w.name;
        EXPECT_EQ(entries(dir.path()), QStringList { QStringLiteral("file") }) << w.name;

        QFile::remove(path);
        ASSERT_TRUE(w.write(path)) << w.name;
        EXPECT_EQ(modeOf(path) & 07777, w.newFileMode) << w.name << ": a new file";

        // A name too long for a temporary one beside it is written in place.
        const QString longName = dir.filePath(QString(250, u'l'));
        put(longName, w.oldBytes);
        EXPECT_TRUE(w.write(longName)) << w.name;
        EXPECT_EQ(readFile(longName), w.newBytes) << w.name;
    }
}

TEST(FileReplacement, OnlyTheRegularFileAtTheEndOfTheLinksIsReplaced)
{
    for (const Writer& w : writers()) {
        QTemporaryDir dir;
        const auto at = [&](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
        const auto link = [&](const char* target, const char* name) {
            return ::symlink(target, QFile::encodeName(at(name)).constData()) == 0;
        };
        QDir(dir.path()).mkpath(QStringLiteral("a"));
        QDir(dir.path()).mkpath(QStringLiteral("b"));
        put(at("b/real"), w.oldBytes);
        ASSERT_TRUE(link("a/mid", "chain") && link("../b/real", "a/mid"));
        EXPECT_TRUE(w.write(at("chain"))) << w.name;
        EXPECT_EQ(readFile(at("b/real")), w.newBytes) << w.name;
        EXPECT_TRUE(S_ISLNK(modeOf(at("chain"))) && S_ISLNK(modeOf(at("a/mid")))) << w.name;

        ASSERT_TRUE(link("b/new", "dangling"));
        EXPECT_TRUE(w.write(at("dangling"))) << w.name;
        EXPECT_EQ(readFile(at("b/new")), w.newBytes) << w.name;

        // Nothing else is ever replaced, nor waited on.
        ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0600), 0);
        const bool hasDevice = ::mknod(QFile::encodeName(at("device")).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
        const int unixSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(at("socket")).constData(), sizeof address.sun_path);
        ASSERT_EQ(::bind(unixSocket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_TRUE(link("fifo", "toFifo") && link("device", "toDevice") && link("loop2", "loop1") && link("loop1", "loop2")
            && link("missing/x", "intoNothing") && link("a", "toFolder"));
        for (const char* name : { "fifo", "toFifo", "toDevice", "socket", "loop1", "intoNothing", "a", "toFolder" }) {
            if (!hasDevice && qstrcmp(name, "toDevice") == 0)
                continue;
            const QStringList before = entries(dir.path());
            const mode_t mode = modeOf(at(name));
            EXPECT_FALSE(w.write(at(name))) << w.name << ": " << name;
            EXPECT_EQ(modeOf(at(name)), mode) << w.name << ": " << name;
            EXPECT_EQ(entries(dir.path()), before) << w.name << ": " << name;
        }
        if (hasDevice) {
            EXPECT_TRUE(S_ISCHR(modeOf(at("device")))) << w.name;
        }
        ::close(unixSocket);
    }
}

TEST(FileReplacement, TheOwnerIsKept)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only the superuser can give a file away";
    for (const Writer& w : writers()) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file"));
        put(path, w.oldBytes, 0664);
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 4242, 4343), 0);
        ASSERT_TRUE(w.write(path)) << w.name;
        struct stat status {};
        ::stat(QFile::encodeName(path).constData(), &status);
        EXPECT_EQ(status.st_uid, 4242u) << w.name;
        EXPECT_EQ(status.st_gid, 4343u) << w.name;
        EXPECT_EQ(status.st_mode & 07777, 0664u) << w.name;
    }
}

// A settings file that is a FIFO, a device or huge gives the defaults at
// once, and one that cannot be read whole is never written.
TEST(ProfileFile, ReadsOnlyRegularFilesOfSaneSize)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero.ini"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString huge = dir.filePath(QStringLiteral("huge.ini"));
    put(huge, "[S]\r\nk=v\r\n");
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), 65 * 1024 * 1024), 0);
    for (const QString& path : { fifo, zero, huge }) {
        EXPECT_EQ(ProfileFile::ReadString(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("def")), "def");
        EXPECT_FALSE(ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w")));
    }
    EXPECT_EQ(QFileInfo(huge).size(), 65 * 1024 * 1024);
    EXPECT_TRUE(readFile(huge).startsWith("[S]\r\nk=v\r\n"));
}
