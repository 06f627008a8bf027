#pragma once

#include <QStringList>

// Where the copies of one user keep the lock and the socket of an instance
// channel. Where the session has a runtime folder of the user's own, that
// folder alone. Otherwise folders of the user's own in the shared temp folder,
// where any other user may have taken a name first: every folder of the user's
// that is there counts, so that a copy finds the running one whichever folder
// it chose, and a new one is made only when the user has none, under a name
// that no one else can take first.
namespace TInstanceChannelFolders {
// The folders that count, in the same order for every copy; with
// createIfNone, one is made when there is none. Empty when there is no such
// folder.
QStringList All(bool createIfNone);
} // namespace TInstanceChannelFolders
