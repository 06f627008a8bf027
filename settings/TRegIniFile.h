#pragma once

#include "settings/TCustomIniFile.h"

#include <memory>

class QSettings;

// The store for UseRegistry: the same operations over the user's own
// configuration instead of a file beside the program. Its "file name" is a key
// path such as "Software\Tamsel"; sections are groups below it.
class TRegIniFile : public TCustomIniFile {
public:
    explicit TRegIniFile(const QString& keyPath);
    ~TRegIniFile() override;

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) override;
    void WriteString(const QString& section, const QString& key, const QString& value) override;
    void EraseSection(const QString& section) override;
    void UpdateFile() override { sync(); }

private:
    QString groupOf(const QString& section) const;
    void sync();

    std::unique_ptr<QSettings> m_settings;
};
