#include "ProfileFile.h"

#include "ProfileText.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <functional>

namespace {

// Another copy of the program holds the lock only for one write.
constexpr int LockTimeoutMs = 5000;

QByteArray readAll(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// A file without any write permission counts as read-only also for a user
// whom the system would let write it.
bool isReadOnly(const QFileInfo& info)
{
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.exists() && (!info.isWritable() || !(info.permissions() & anyWrite));
}

bool changeFile(const QString& fileName, const std::function<bool(ProfileText&)>& change)
{
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || info.isDir() || isReadOnly(info))
        return false;
    QLockFile lock(fileName + QStringLiteral(".lock"));
    if (!lock.tryLock(LockTimeoutMs))
        return false;
    ProfileText profile = ProfileText::parse(readAll(fileName));
    if (!change(profile))
        return false;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = profile.serialize();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

} // namespace

QString ProfileFile::ReadString(const QString& fileName, const QString& section, const QString& key,
    const QString& defaultValue)
{
    std::optional<QString> value;
    if (!fileName.isEmpty() && !QFileInfo(fileName).isDir())
        value = ProfileText::parse(readAll(fileName)).rawValue(section, key);
    return value ? ProfileText::readBack(*value) : defaultValue.left(ProfileText::MaxValueLength);
}

bool ProfileFile::WriteString(const QString& fileName, const QString& section, const QString& key,
    const QString& value)
{
    return changeFile(fileName, [&](ProfileText& profile) { return profile.setValue(section, key, value); });
}

bool ProfileFile::EraseSection(const QString& fileName, const QString& section)
{
    return changeFile(fileName, [&](ProfileText& profile) {
        profile.removeSection(section);
        return true;
    });
}
