#include "platform/TInstanceChannelWire.h"

#include <algorithm>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

QByteArray TInstanceChannelWire::withoutLineBreaks(QByteArray line)
{
    return line.replace('\n', ' ');
}

#ifdef Q_OS_UNIX
bool TInstanceChannelWire::isPeerThisUser(qintptr descriptor)
{
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0
        && credentials.uid == ::getuid();
}
#else
bool TInstanceChannelWire::isPeerThisUser(qintptr)
{
    return true;
}
#endif

int TInstanceChannelWire::remainingMs(const QDeadlineTimer& deadline)
{
    if (deadline.isForever())
        return -1;
    return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 0, std::numeric_limits<int>::max()));
}
