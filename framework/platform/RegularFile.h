#pragma once

#include <QByteArray>
#include <QIODevice>

#include <optional>

class QFile;
class QString;

// Opens a file without ever blocking: only a regular file is opened (for
// writing also a new one, created if missing), so a FIFO or a device in its
// place fails at once instead of hanging the program. A file opened for
// writing keeps its old bytes until the caller writes over them.
bool OpenRegularFile(QFile& file, const QString& fileName, QIODevice::OpenMode mode);

// The whole content of a regular file, opened as above: empty when there is
// no file of that name, none when it cannot be read, is not a regular file
// or holds more than maxSize bytes.
std::optional<QByteArray> ReadRegularFile(const QString& fileName, qint64 maxSize);

// The whole content of a file of the user's own: opened without following a
// symbolic link and without blocking, and read only when it is a regular
// file owned by this process's user of at most maxSize bytes; none otherwise,
// also when there is no such file. A file someone else planted, or a link to
// another file, is never taken for the user's own.
std::optional<QByteArray> ReadOwnRegularFile(const QString& fileName, qint64 maxSize);

// Puts the bytes under the name as a file only its owner may read (0600):
// written beside it under a temporary name and renamed over it, so a reader
// finds the old content or the new, and a link at the name is replaced,
// never written through. False when that fails (nothing is then left behind).
bool ReplacePrivately(const QString& fileName, const QByteArray& bytes);

// Writes all the bytes to a descriptor, going on after interruptions and
// short writes; false when the descriptor refuses some of them.
bool WriteAll(int fd, const QByteArray& bytes);
