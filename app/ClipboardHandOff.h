#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// Keeps the text this program put on the clipboard available after the
// program has ended. An X11 clipboard lives only as long as its owner: a
// desktop's clipboard manager takes the text over when the owner ends (Qt asks
// it to); without one, a small keeper process of ours serves the text until
// another program takes the clipboard or a day has passed.
namespace ClipboardHandOff {

// The keeper's executable, installed beside the program's own.
inline constexpr const char* KeeperName = "tamsel-clipboard";

// Run as the program ends, while the application object still exists: when
// this program owns the clipboard's text and no clipboard manager will take
// it, starts the keeper beside the executable and waits until it serves the
// text (a few seconds at most). When no keeper serves it, the user is told
// that the text goes with the program, and is given the time to paste it
// elsewhere while the box is open.
void KeepClipboardText();
// The same for the executable at the given path, a path of bytes: a folder's
// name need not be text.
void KeepClipboardText(const QByteArray& executable);

// Whether the X display runs a clipboard manager; false off X11.
bool HasClipboardManager();

// Starts the keeper at keeperPath, hands it the text through a pipe and waits
// until it owns the clipboard. Returns its process id, or 0 when it could not
// be started, could not be handed the whole text (it is then ended) or did
// not take the clipboard within timeoutMs.
pid_t StartKeeper(const QByteArray& keeperPath, const QString& text, int timeoutMs);

} // namespace ClipboardHandOff
