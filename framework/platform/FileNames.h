#pragma once

#include <QString>

// File-name functions. "/" separates path parts here, as on every platform Qt
// runs on; "\" and ":" are kept as delimiters too, so names coming from the
// other convention are split the same way. The extension begins at the last
// "." after the last delimiter. Text is UTF-8 and delimiters are ASCII, so no
// delimiter can be the trailing byte of a multi-byte character.
namespace FileNames {
QString ExtractFilePath(const QString& fileName);
QString ExtractFileName(const QString& fileName);
QString ExtractFileExt(const QString& fileName);
QString ChangeFileExt(const QString& fileName, const QString& extension);

// The real path of the file a symbolic link points to (by default the running
// executable's own link), when that path has a name: empty when the link
// cannot be read or its target holds bytes that no text names, such as a
// folder name that is not valid UTF-8. An empty path must not be made into
// any other file's name.
QString LinkTarget(const QByteArray& link = QByteArrayLiteral("/proc/self/exe"));

// The same path for a person to read: bytes that are not valid UTF-8 are
// shown as replacement characters. Never to be used as a file's name.
QString ShownLinkTarget(const QByteArray& link = QByteArrayLiteral("/proc/self/exe"));
} // namespace FileNames
