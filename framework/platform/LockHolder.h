#pragma once

#include <QElapsedTimer>

#include <sys/stat.h>
#include <sys/types.h>

// Watches the process that holds an advisory lock (flock) on a file while
// another waits for it: a holder that is alive and busy is worth waiting for,
// however slow a loaded machine makes it; one that is stopped, stuck or
// hostile is not.
class LockHolder {
public:
    // The process holding a lock on the file, from the system's table of
    // locks; 0 when none is listed.
    static pid_t of(const struct stat& file);

    // True once the holder of a lock on the file has made no progress for
    // stalledMs: it was neither running, nor waiting to run or for the disk,
    // nor did it use processor time, nor did another process take the lock.
    // A holder that cannot be found or looked at cannot be judged and counts
    // as making progress, as does one in this very process (another thread).
    // The first call starts the watch.
    bool hasStalled(const struct stat& file, int stalledMs);

private:
    bool madeProgress(const struct stat& file);

    QElapsedTimer m_sinceProgress;
    pid_t m_pid = 0;
    unsigned long long m_processorTicks = 0;
};
