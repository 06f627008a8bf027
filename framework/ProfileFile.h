#pragma once

#include <QString>

// Profile-string access to a settings file, one call per value. Reads never
// fail: a missing file, section or key gives the default. Every write reads the
// file anew, changes it and replaces it whole (a temporary file renamed over
// it) under a lock file, so a crash never leaves a torn file and two programs
// writing the same file at once never lose each other's keys. A new file is
// written with CR LF line ends and no byte-order mark.
class ProfileFile {
public:
    static QString ReadString(const QString& fileName, const QString& section, const QString& key,
        const QString& defaultValue);
    // False when the file cannot be written (it or its folder is read-only,
    // the path is a folder, the lock cannot be had) or the text cannot be
    // stored as one line.
    static bool WriteString(const QString& fileName, const QString& section, const QString& key,
        const QString& value);
    // Deletes the section with all its keys.
    static bool EraseSection(const QString& fileName, const QString& section);
};
