#include "platform/TInstanceChannelFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// Names another user may have taken first are tried in this order before a
// name is made up that no one can have taken.
constexpr int FixedNameAttempts = 8;

// A folder that only this user can enter: owned by the user, no access for
// others, and not a symbolic link that someone else could point elsewhere.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::getuid()
        && (status.st_mode & 077) == 0;
}

QString userPrefix()
{
    return QStringLiteral("tinstance-%1").arg(::getuid());
}

// The user's folders in the temp folder: the plain name and those with a
// suffix, in name order, so the plain one comes first.
QStringList privateTempFolders()
{
    const QDir temp(QDir::tempPath());
    const QString prefix = userPrefix();
    QStringList folders;
    const QStringList names = temp.entryList({ prefix + u'*' }, QDir::Dirs | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        if (name != prefix && !name.startsWith(prefix + u'-'))
            continue; // another user's whose number starts with this one's
        const QString folder = temp.filePath(name);
        if (isPrivateFolder(QFile::encodeName(folder)))
            folders << folder;
    }
    return folders;
}

// Makes a folder of the user's own: under a fixed name while one is free,
// then under a name made unique by the system, which another user's folders
// cannot block.
void createPrivateTempFolder()
{
    const QString base = QDir(QDir::tempPath()).filePath(userPrefix());
    for (int attempt = 0; attempt < FixedNameAttempts; ++attempt) {
        const QString folder = attempt == 0 ? base : base + QStringLiteral("-%1").arg(attempt);
        const QByteArray path = QFile::encodeName(folder);
        if (::mkdir(path.constData(), 0700) == 0 || isPrivateFolder(path))
            return;
    }
    QByteArray pattern = QFile::encodeName(base) + "-XXXXXX";
    ::mkdtemp(pattern.data());
}
#endif

} // namespace

namespace TInstanceChannelFolders {

QStringList All(bool createIfNone)
{
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isAbsolute() && isPrivateFolder(QFile::encodeName(runtime)))
        return { runtime };
    QStringList folders = privateTempFolders();
    if (folders.isEmpty() && createIfNone) {
        createPrivateTempFolder();
        folders = privateTempFolders();
    }
    return folders;
#else
    Q_UNUSED(createIfNone);
    return { QDir::tempPath() };
#endif
}

} // namespace TInstanceChannelFolders
