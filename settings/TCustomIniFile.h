#pragma once

#include <QString>

// A settings store: sections of named text values. It lives for one restore or
// one save; creating and freeing it touches nothing.
class TCustomIniFile {
public:
    explicit TCustomIniFile(const QString& fileName)
        : m_fileName(fileName)
    {
    }
    virtual ~TCustomIniFile() = default;
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    const QString& FileName() const { return m_fileName; }

    virtual QString ReadString(const QString& section, const QString& key, const QString& defaultValue) = 0;
    // Raises "Unable to write to <file name>" when the store refuses.
    virtual void WriteString(const QString& section, const QString& key, const QString& value) = 0;
    virtual void EraseSection(const QString& section) = 0;
    // Puts what was written into the file, if the store keeps it until
    // then; raises as WriteString does. Freeing the store does it too, but
    // without a report.
    virtual void UpdateFile() { }

    // A missing key or text that does not convert gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

private:
    QString m_fileName;
};
