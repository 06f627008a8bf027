#include "ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace {

// Another copy of the program holds the lock only for one save.
constexpr int LockTimeoutMs = 5000;

QByteArray readAll(const QString& fileName)
{
    QFile file(fileName);
    if (fileName.isEmpty() || QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly))
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

} // namespace

ProfileFile::ProfileFile(const QString& fileName)
    : m_fileName(fileName)
{
}

ProfileFile::~ProfileFile()
{
    commit();
}

QString ProfileFile::readString(const QString& section, const QString& key, const QString& defaultValue)
{
    if (!m_text)
        m_text = ProfileText::parse(readAll(m_fileName));
    const auto value = m_text->rawValue(section, key);
    return value ? ProfileText::readBack(*value) : defaultValue.left(ProfileText::MaxValueLength);
}

bool ProfileFile::beginChange()
{
    if (m_lock)
        return true;
    const QFileInfo info(m_fileName);
    if (m_fileName.isEmpty() || info.isDir() || isReadOnly(info))
        return false;
    auto lock = std::make_unique<QLockFile>(m_fileName + QStringLiteral(".lock"));
    if (!lock->tryLock(LockTimeoutMs))
        return false;
    m_lock = std::move(lock);
    m_text = ProfileText::parse(readAll(m_fileName));
    return true;
}

bool ProfileFile::writeString(const QString& section, const QString& key, const QString& value)
{
    if (!ProfileText::isValidSectionName(section) || !ProfileText::isValidKeyName(key) || !ProfileText::isValidValue(value))
        return false;
    if (!beginChange())
        return false;
    m_text->setValue(section, key, value);
    m_isChanged = true;
    return true;
}

bool ProfileFile::eraseSection(const QString& section)
{
    if (!beginChange())
        return false;
    m_text->removeSection(section);
    m_isChanged = true;
    return true;
}

bool ProfileFile::commit()
{
    if (!m_lock)
        return true;
    bool isWritten = true;
    if (m_isChanged) {
        QSaveFile file(m_fileName);
        const QByteArray bytes = m_text->serialize();
        isWritten = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    }
    m_isChanged = false;
    m_lock.reset();
    // What another program writes after this is read anew.
    if (!isWritten)
        m_text.reset();
    return isWritten;
}

QString ProfileFile::ReadString(const QString& fileName, const QString& section, const QString& key,
    const QString& defaultValue)
{
    return ProfileFile(fileName).readString(section, key, defaultValue);
}

bool ProfileFile::WriteString(const QString& fileName, const QString& section, const QString& key,
    const QString& value)
{
    ProfileFile file(fileName);
    return file.writeString(section, key, value) && file.commit();
}

bool ProfileFile::EraseSection(const QString& fileName, const QString& section)
{
    ProfileFile file(fileName);
    return file.eraseSection(section) && file.commit();
}
