#pragma once

#include "TCustomIniFile.h"

// The settings file: every value is one profile-string call on the file.
class TIniFile : public TCustomIniFile {
public:
    using TCustomIniFile::TCustomIniFile;

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) override;
    void WriteString(const QString& section, const QString& key, const QString& value) override;
    void EraseSection(const QString& section) override;
};
