#include "core/Exception.h"
#include "settings/ProfileFile.h"
#include "controls/TMemoStrings.h"
#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using TestSupport::readFile;

namespace {

const QString NewText(300, u'n');

bool savePreview(const QString& path)
{
    const QTextDocument document(NewText);
    try {
        TMemoStrings(&document).SaveToFile(path);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

// The two files the program replaces: the preview file and the settings file.
const struct Writer {
    const char* name;
    QByteArray oldBytes;
    QByteArray newBytes;
    mode_t newFileMode;
    std::function<bool(const QString&)> write;
} Writers[] = {
    { "preview", QByteArray(400, 'o'), NewText.toUtf8(), 0600, savePreview },
    { "settings", "[S]\r\nk=" + QByteArray(400, 'o') + "\r\n", "[S]\r\nk=" + NewText.toUtf8() + "\r\n", 0644,
        [](const QString& path) { return ProfileFile::WriteString(path, QStringLiteral("S"), QStringLiteral("k"), NewText); } },
};

struct stat statusOf(const QString& path)
{
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
}

} // namespace

TEST(FileReplacement, AReaderFindsTheOldOrTheNewFileWhole)
{
    for (const Writer& w : Writers) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file"));
        put(path, w.oldBytes);
        const bool isRoot = ::geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), 4242, 4343) == 0;
        QFile reader(path);
        ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
        ASSERT_TRUE(w.write(path)) << w.name;
        EXPECT_EQ(readFile(path), w.newBytes) << w.name;
        EXPECT_EQ(reader.readAll(), w.oldBytes) << w.name << ": one who opened the old file reads it whole";
        EXPECT_EQ(statusOf(path).st_mode & 07777, 0640u) << w.name << ": the mode is kept";
        EXPECT_TRUE(!isRoot || (statusOf(path).st_uid == 4242 && statusOf(path).st_gid == 4343)) << w.name << ": and the owner";

        // A full disk part way: the old file stays whole, nothing is left beside it.
        put(path, w.oldBytes);
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit tiny { 16, old.rlim_max };
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        EXPECT_FALSE(w.write(path)) << w.name;
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(readFile(path), w.oldBytes) << w.name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("file") }) << w.name;

        // A name too long for a temporary file beside it is written in place.
        const QString longName = dir.filePath(QString(250, u'l'));
        put(longName, w.oldBytes);
        EXPECT_TRUE(w.write(longName) && readFile(longName) == w.newBytes) << w.name;
    }
}

TEST(FileReplacement, OnlyTheRegularFileAtTheEndOfTheLinksIsReplaced)
{
    const mode_t mask = ::umask(022);
    for (const Writer& w : Writers) {
        QTemporaryDir dir;
        const auto at = [&](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
        const auto link = [&](const char* target, const char* name) { ASSERT_TRUE(QFile::link(QString::fromUtf8(target), at(name))); };
        QDir(dir.path()).mkpath(QStringLiteral("a/b"));
        put(at("a/b/real"), w.oldBytes);
        link("a/mid", "chain");
        link("b/real", "a/mid");
        link("b/new", "a/dangling");
        EXPECT_TRUE(w.write(at("chain")) && w.write(at("a/dangling"))) << w.name;
        EXPECT_EQ(readFile(at("a/b/real")), w.newBytes) << w.name;
        EXPECT_EQ(readFile(at("a/b/new")), w.newBytes) << w.name;
        EXPECT_EQ(statusOf(at("a/b/new")).st_mode & 07777, w.newFileMode) << w.name << ": a new file";
        EXPECT_TRUE(S_ISLNK(statusOf(at("chain")).st_mode) && S_ISLNK(statusOf(at("a/mid")).st_mode)) << w.name;

        // Nothing else is ever replaced, nor waited on.
        ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0600), 0);
        const bool hasDevice = ::mknod(QFile::encodeName(at("device")).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
        link("fifo", "toFifo");
        link("device", "toDevice");
        link("loop", "loop");
        link("missing/x", "intoNothing");
        link("/dev/zero", "zero");
        for (const char* name : { "fifo", "toFifo", "toDevice", "loop", "intoNothing", "a", "zero" }) {
            if (!hasDevice && QByteArray(name) == "toDevice")
                continue;
            const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System);
            const mode_t mode = statusOf(at(name)).st_mode;
            // Settings read from anything but a regular file are the defaults.
            EXPECT_EQ(ProfileFile::ReadString(at(name), QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("d")), "d");
            EXPECT_FALSE(w.write(at(name))) << w.name << ": " << name;
            EXPECT_EQ(statusOf(at(name)).st_mode, mode) << w.name << ": " << name;
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::System), before) << w.name << ": " << name;
        }
    }
    ::umask(mask);
}

