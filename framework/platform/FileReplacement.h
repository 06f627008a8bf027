#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Replaces a file's whole content so that a reader always finds the old text
// or the new one, never a mix: a temporary file beside the target is written
// and renamed over it, so a failed write (a full disk) or a kill part way
// leaves the old file as it was.
//
// A symbolic link is followed through its whole chain and the regular file
// at its end is replaced; the links stay. Anything else at the end (a device,
// a FIFO, a socket, a folder, a chain that loops) is refused and left alone,
// as is an existing file without write permission. A replaced file keeps its
// owner, group and mode where the process may set them. Where the file cannot
// be replaced but may be written (its folder refuses new files or the rename,
// as a sticky folder does for another user's file, or its owner cannot be
// kept), it is written in place instead; only then can a failure part way
// leave a mix.
//
// The data is not forced to the disk before the rename: that waits for the
// disk on every write (from 4 ms to over 100 ms on a busy one), and the
// preview writes on every pause in typing. A kill still leaves the old or the
// new file whole; after a power loss the file systems in use (ext4, XFS,
// btrfs) order the data of a file renamed over another before the rename.
namespace FileReplacement {

// Who may read a file that the replacement creates.
enum class NewFile {
    Private, // the owner only (0600)
    Ordinary, // 0666 less the process's umask, as any new file
};

// The regular file that a write to fileName reaches: symbolic links followed
// to their end. Its path and whether it exists yet; none when nothing can be
// written there (see above).
struct Target {
    QByteArray path;
    bool exists = false;
};
std::optional<Target> ResolveTarget(const QString& fileName);

enum class Result {
    Replaced,
    // Nothing there can be written: not a regular file, read-only, a folder
    // that does not exist or refuses the new file. Nothing was changed.
    Refused,
    // Not every byte could be written (a full disk). The old file is left as
    // it was, except after the in-place fallback.
    WriteFailed,
};
Result Replace(const QString& fileName, const QByteArray& bytes, NewFile newFile);

// Called with the path of the file just after each replacement, on the
// replacing thread: a test sees there what holds while a writer is between
// its replacement and what follows it.
inline std::function<void(const QByteArray& path)> ReplacedObserver;

} // namespace FileReplacement
