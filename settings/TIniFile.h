#pragma once

#include "settings/TCustomIniFile.h"

#include <memory>

class ProfileFile;

// The settings file: every value is one profile-string call on the file.
// The file is read once per store and written as one replacement, at
// UpdateFile or when the store is freed.
class TIniFile : public TCustomIniFile {
public:
    explicit TIniFile(const QString& fileName);
    ~TIniFile() override;

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) override;
    void WriteString(const QString& section, const QString& key, const QString& value) override;
    void EraseSection(const QString& section) override;
    void UpdateFile() override;

private:
    ProfileFile& file();

    std::unique_ptr<ProfileFile> m_file;
};
