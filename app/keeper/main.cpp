// The clipboard keeper: serves the text it reads from its input on the
// clipboard, without a window, until another program takes the clipboard over
// or a day has passed. It tells the program that started it, on its output,
// once it owns the clipboard.

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::chrono::hours LongestService { 24 };

QByteArray readInput()
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got == 0)
            return bytes;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {};
        bytes.append(buffer, got);
    }
}

void reportReady()
{
    static const char line[] = "ready\n";
    [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, line, sizeof line - 1);
    // The starter's pipe is closed at once; nothing else is ever written there.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    const QString text = QString::fromUtf8(readInput());
    if (text.isEmpty())
        return 0;
    // The keeper holds no folder of the user's: they may be removed while it runs.
    QDir::setCurrent(QDir::rootPath());
    QGuiApplication application(argc, argv);
    // Only an X11 clipboard needs keeping; anywhere else the keeper would
    // serve nobody for a day.
    if (!application.nativeInterface<QNativeInterface::QX11Application>())
        return 1;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    if (!clipboard->ownsClipboard())
        return 1;
    QObject::connect(clipboard, &QClipboard::changed, &application, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard())
            QCoreApplication::quit();
    });
    QTimer::singleShot(LongestService, &application, &QCoreApplication::quit);
    reportReady();
    return application.exec();
}
