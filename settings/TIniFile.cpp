#include "settings/TIniFile.h"

#include "core/Exception.h"
#include "platform/FileNames.h"
#include "settings/ProfileFile.h"

namespace {

// A store without a file name stands for the settings file of a program in
// a folder whose name is no text: the message names that folder as well as
// it can be shown.
[[noreturn]] void raiseWriteFailure(const QString& fileName)
{
    const QString shown = fileName.isEmpty() ? FileNames::ExtractFilePath(FileNames::ShownLinkTarget()) : fileName;
    throw Exception(QStringLiteral("Unable to write to %1").arg(shown));
}

} // namespace

TIniFile::TIniFile(const QString& fileName)
    : TCustomIniFile(fileName)
{
}

TIniFile::~TIniFile() = default;

// Opened at the first use, so that creating the store touches nothing.
ProfileFile& TIniFile::file()
{
    if (!m_file)
        m_file = std::make_unique<ProfileFile>(FileName());
    return *m_file;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue)
{
    return file().readString(section, key, defaultValue);
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (!file().writeString(section, key, value))
        raiseWriteFailure(FileName());
}

void TIniFile::EraseSection(const QString& section)
{
    if (!file().eraseSection(section))
        raiseWriteFailure(FileName());
}

void TIniFile::UpdateFile()
{
    if (m_file && !m_file->commit())
        raiseWriteFailure(FileName());
}
