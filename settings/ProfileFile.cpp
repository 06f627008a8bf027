#include "settings/ProfileFile.h"

#include "platform/FileReplacement.h"
#include "platform/RegularFile.h"
#include "settings/ProfileLock.h"

#include <QFile>

namespace {

// Far beyond any settings file (this program's own section is under a
// kilobyte), yet read and indexed in well under a second; a larger file, or a
// device that never ends, is not read at all rather than exhausting memory.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

// A missing file reads as empty; one that cannot be read gives none.
std::optional<ProfileText> readText(const QString& fileName)
{
    const auto bytes = ReadRegularFile(fileName, MaxFileSize);
    if (!bytes)
        return std::nullopt;
    return ProfileText::parse(*bytes);
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

// A file that cannot be read gives the defaults; a write then refuses.
QString ProfileFile::readString(const QString& section, const QString& key, const QString& defaultValue)
{
    if (!m_text)
        m_text = readText(m_fileName).value_or(ProfileText());
    const auto value = m_text->rawValue(section, key);
    return value ? ProfileText::readBack(*value) : defaultValue.left(ProfileText::MaxValueLength);
}

bool ProfileFile::beginChange()
{
    if (m_lock)
        return true;
    const auto target = FileReplacement::ResolveTarget(m_fileName);
    if (!target)
        return false;
    auto lock = std::make_unique<ProfileLock>(m_fileName + QStringLiteral(".lock"), target->path);
    if (!lock->tryLock())
        return false;
    // Read anew under the lock, so that what another copy saved since stays;
    // a file that cannot be read whole is not written, as that would lose
    // what it holds.
    auto text = readText(m_fileName);
    if (!text)
        return false;
    m_lock = std::move(lock);
    m_text = std::move(text);
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
    const bool isWritten = !m_isChanged
        || FileReplacement::Replace(m_fileName, m_text->serialize(), FileReplacement::NewFile::Ordinary)
            == FileReplacement::Result::Replaced;
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
