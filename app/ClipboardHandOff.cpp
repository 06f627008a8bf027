#include "app/ClipboardHandOff.h"

#include "application/TApplication.h"
#include "platform/RegularFile.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {

// Closes a descriptor on every way out.
class Descriptor {
public:
    Descriptor() = default;
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int* receive() { return &m_fd; }
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

bool makePipe(Descriptor& readEnd, Descriptor& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    *readEnd.receive() = fds[0];
    *writeEnd.receive() = fds[1];
    return true;
}

// The keeper writes one line once it owns the clipboard and closes its
// output; an end without that line is a failure.
bool waitForReady(int fd, int timeoutMs)
{
    pollfd wanted { fd, POLLIN, 0 };
    int ready;
    do {
        ready = ::poll(&wanted, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return false;
    char reply[8] = {};
    const ssize_t got = ::read(fd, reply, sizeof reply);
    return got > 0 && reply[0] == 'r';
}

// Starts the keeper in a session of its own, so that it outlives this process
// and a hang-up of the terminal; its input and output are the two pipes.
pid_t spawnKeeper(const QByteArray& path, int input, int output)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    // Nothing else of this process (its instance channel, the web engine's
    // sockets) may live on in the keeper.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signalSet;
    sigemptyset(&signalSet);
    posix_spawnattr_setsigmask(&attributes, &signalSet);
    sigaddset(&signalSet, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signalSet);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char* argv[] = { const_cast<char*>(path.constData()), nullptr };
    pid_t pid = 0;
    const int result = posix_spawn(&pid, path.constData(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : 0;
}

xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The running executable's path, from the bytes of its link: the toolkit's
// own path is empty, or names another file, when a folder's name is not
// valid UTF-8.
QByteArray runningExecutable()
{
    QByteArray executable(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", executable.data(), size_t(executable.size()));
    if (length > 0 && length < executable.size())
        return executable.left(length);
    return QFile::encodeName(QCoreApplication::applicationFilePath());
}

QByteArray keeperBeside(const QByteArray& executable)
{
    return executable.left(executable.lastIndexOf('/') + 1) + ClipboardHandOff::KeeperName;
}

// Invalid bytes of a name are shown as replacement characters: the rest of
// the name still tells the user where to look.
void tellTextGoesWithTheProgram(const QByteArray& keeperPath)
{
    const QString title = Application ? Application->Title() : QCoreApplication::applicationName();
    const QString text = QStringLiteral(
        "The text that %1 copied to the clipboard will be lost when %1 ends: its clipboard keeper %2 could not "
        "be started. Paste the text where you need it, then press OK.")
                             .arg(title, QString::fromUtf8(keeperPath));
    if (Application)
        Application->MessageBox(text, title, TApplication::MB_OK | TApplication::MB_ICONWARNING);
}

} // namespace

namespace ClipboardHandOff {

bool HasClipboardManager()
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return false;
    static const char name[] = "CLIPBOARD_MANAGER";
    xcb_intern_atom_reply_t* atom
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
    if (!atom)
        return false;
    const xcb_atom_t manager = atom->atom;
    free(atom);
    if (manager == XCB_ATOM_NONE)
        return false; // nobody ever named the selection, so nobody owns it
    xcb_get_selection_owner_reply_t* owner
        = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, manager), nullptr);
    const bool isOwned = owner && owner->owner != XCB_NONE;
    free(owner);
    return isOwned;
}

pid_t StartKeeper(const QByteArray& keeperPath, const QString& text, int timeoutMs)
{
    Descriptor textRead, textWrite, readyRead, readyWrite;
    if (!makePipe(textRead, textWrite) || !makePipe(readyRead, readyWrite))
        return 0;
    const pid_t pid = spawnKeeper(keeperPath, textRead.get(), readyWrite.get());
    if (pid == 0)
        return 0;
    textRead.reset();
    readyWrite.reset();
    // A keeper that ends early must not end this process with SIGPIPE.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    const bool handed = WriteAll(textWrite.get(), text.toUtf8());
    std::signal(SIGPIPE, previous);
    textWrite.reset();
    if (!handed) {
        // Half a text must never reach the clipboard.
        ::kill(pid, SIGTERM);
        return 0;
    }
    // A keeper slower than the wait is left to take the clipboard when it
    // gets there: that is still better than losing the text.
    return waitForReady(readyRead.get(), timeoutMs) ? pid : 0;
}

void KeepClipboardText()
{
    KeepClipboardText(runningExecutable());
}

void KeepClipboardText(const QByteArray& executable)
{
    // Only an X11 clipboard ends with its owner; other platforms keep their own rules.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!x11Connection() || !clipboard->ownsClipboard() || HasClipboardManager())
        return;
    const QString text = clipboard->text();
    if (text.isEmpty())
        return;
    const QByteArray keeper = keeperBeside(executable);
    if (StartKeeper(keeper, text, 5000) == 0)
        tellTextGoesWithTheProgram(keeper);
}

} // namespace ClipboardHandOff
