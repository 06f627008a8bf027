#pragma once

#include "settings/ProfileText.h"

#include <QString>

#include <memory>
#include <optional>

class ProfileLock;

// Profile-string access to a settings file. Reads never fail: a missing file,
// section or key gives the default, and so does a file that is not a regular
// one (a FIFO, a device) or is too large to be a settings file. The file is
// read once and then answered from memory. The first write takes a lock file
// and reads the file anew, so that keys another program wrote meanwhile are
// kept; a file that cannot then be read whole is not written. Commit (or the
// end of the object) replaces the file whole through its links (see
// FileReplacement), so a crash never leaves a torn file, and releases the
// lock. A new file is written with CR LF line ends and no byte-order mark.
class ProfileFile {
public:
    explicit ProfileFile(const QString& fileName);
    // Commits what was written; a failure then goes unreported.
    ~ProfileFile();
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    QString readString(const QString& section, const QString& key, const QString& defaultValue);
    // False when the file cannot be written (it or its folder is read-only,
    // the path is a folder or a device, another process holds the lock and
    // has made no progress for two seconds, or has held it for half a minute,
    // the file cannot be read) or the text cannot be stored as one
    // line.
    bool writeString(const QString& section, const QString& key, const QString& value);
    // Deletes the section with all its keys.
    bool eraseSection(const QString& section);
    // Writes the changes to the file; false when that fails.
    bool commit();

    // One value in one call, the file written at once.
    static QString ReadString(const QString& fileName, const QString& section, const QString& key,
        const QString& defaultValue);
    static bool WriteString(const QString& fileName, const QString& section, const QString& key,
        const QString& value);
    static bool EraseSection(const QString& fileName, const QString& section);

private:
    bool beginChange();

    QString m_fileName;
    std::optional<ProfileText> m_text;
    std::unique_ptr<ProfileLock> m_lock;
    bool m_isChanged = false;
};
