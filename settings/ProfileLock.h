#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

// The lock file beside the settings file (or another file of the user's kept
// whole), held with an advisory lock: the system drops it when its holder
// ends, crash or not, so it never goes stale. The holder deletes the file when
// it is done; a waiter that then finds it holds the lock of a deleted file
// tries again.
class ProfileLock {
public:
    ProfileLock(const QString& lockName, const QByteArray& settingsFile);
    ~ProfileLock();
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

    // Waits while another holder makes progress; false when the holder has
    // stalled, or after the longest wait.
    bool tryLock();

private:
    static void waitAWhile();
    bool tryOnce();
    bool isHeld(int fd) const;

    QByteArray m_path;
    QByteArray m_settingsFile;
    int m_fd = -1;
    bool m_ownsFile = true;
    // The file another holder has locked, as last found.
    struct stat m_heldFile {};
};
