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

// Writes all the bytes to a descriptor, going on after interruptions and
// short writes; false when the descriptor refuses some of them.
bool WriteAll(int fd, const QByteArray& bytes);
