// A process that starts like a copy of the program, for the channel's tests:
//   instance_peer NAME LISTEN_DELAY_MS
// It waits for a line on stdin, so several can start at the same moment, then
// reaches the running copy (prints "found <answer to ping>", exit code 1) or
// claims the name (prints "claimed") and listens after the delay, the time a
// main window takes (prints "listening"). Exit code 2: the name stayed taken.
// Its answers: "ping" gives "pong <pid>", "stall" never gets one (a hung copy),
// anything else is echoed.

#include "platform/TInstanceChannel.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void print(const QByteArray& line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

std::optional<QByteArray> answer(const QByteArray& request)
{
    if (request == "ping")
        return "pong " + QByteArray::number(QCoreApplication::applicationPid());
    if (request == "stall")
        QThread::sleep(3600);
    return "echo " + request;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 64;
    TInstanceChannel channel(QString::fromLocal8Bit(argv[1]));
    std::string go;
    std::getline(std::cin, go);

    // Like the program, the check runs before any application object exists.
    switch (channel.connectOrClaim(QDeadlineTimer(10000))) {
    case TInstanceChannel::Reach::Connected:
        print("found " + channel.ask("ping", QDeadlineTimer(5000)).value_or("nothing"));
        return 1;
    case TInstanceChannel::Reach::Claimed:
        break;
    default:
        return 2;
    }
    print("claimed");
    QThread::msleep(std::stoul(argv[2]));
    QCoreApplication app(argc, argv);
    if (!channel.listen(answer))
        return 3;
    print("listening");
    return app.exec();
}
