#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QtGlobal>

// What both ends of an instance channel hold to: the lines they exchange,
// their limits, and who may be at the other end.
namespace TInstanceChannelWire {
// The longest request or answer; a peer that sends more is disconnected.
constexpr qsizetype MaxLineLength = 4096;

// A request or an answer as one line: its own line breaks become blanks.
QByteArray withoutLineBreaks(QByteArray line);

// Whether the process at the other end of a connected local socket runs as
// this user; a socket of another user is never taken for one of this user's
// copies.
bool isPeerThisUser(qintptr descriptor);

// The milliseconds left as Qt's blocking waits take them: -1 waits forever.
int remainingMs(const QDeadlineTimer& deadline);
} // namespace TInstanceChannelWire
