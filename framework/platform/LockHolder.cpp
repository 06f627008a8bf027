#include "platform/LockHolder.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The state and the processor time (user and system, in ticks) of a process,
// from /proc/<pid>/stat, whose fields after the name (in parentheses, which
// may hold anything) are separated by spaces.
struct ProcessState {
    char state = '?';
    unsigned long long processorTicks = 0;
};

bool readState(pid_t pid, ProcessState& found)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.read(4096);
    const qsizetype nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0)
        return false;
    const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
    // state is the third field of the line, utime the 14th and stime the 15th.
    constexpr int StateField = 0, UserTimeField = 11, SystemTimeField = 12;
    if (fields.size() <= SystemTimeField || fields[StateField].isEmpty())
        return false;
    found.state = fields[StateField][0];
    found.processorTicks = fields[UserTimeField].toULongLong() + fields[SystemTimeField].toULongLong();
    return true;
}

} // namespace

// A line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 08:02:131074 0 EOF";
// a waiter's line has "->" after its number and is not a holder.
pid_t LockHolder::of(const struct stat& file)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray wanted = QByteArray::number(major(file.st_dev), 16).rightJustified(2, '0') + ':'
        + QByteArray::number(minor(file.st_dev), 16).rightJustified(2, '0') + ':'
        + QByteArray::number(qulonglong(file.st_ino));
    for (;;) {
        const QByteArray line = locks.readLine(4096);
        if (line.isEmpty())
            return 0;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] == "->" || fields[1] != "FLOCK")
            continue;
        if (fields[5] == wanted)
            return pid_t(fields[4].toInt());
    }
}

bool LockHolder::hasStalled(const struct stat& file, int stalledMs)
{
    if (!m_sinceProgress.isValid() || madeProgress(file))
        m_sinceProgress.start();
    return m_sinceProgress.elapsed() >= stalledMs;
}

bool LockHolder::madeProgress(const struct stat& file)
{
    const pid_t pid = of(file);
    if (pid == ::getpid())
        return true;
    // A holder that is not listed (it has just let go, or lives where this
    // process cannot see it) cannot be judged, and is not given up on.
    ProcessState state;
    if (pid <= 0 || !readState(pid, state))
        return true;
    const bool isNewHolder = pid != m_pid;
    const bool hasRun = state.processorTicks != m_processorTicks;
    m_pid = pid;
    m_processorTicks = state.processorTicks;
    return isNewHolder || hasRun || state.state == 'R' || state.state == 'D';
}
