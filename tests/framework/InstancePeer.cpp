// Another process on an instance channel, for the channel's tests. Modes:
//   serve NAME         claim the name and answer until asked to quit
//   hold NAME          claim the name without listening, until stdin closes
//   start NAME DELAYMS wait for a line on stdin, then start like a copy of the
//                      program: reach the running one, or claim the name and
//                      listen after DELAYMS (the time a main window takes)
// Answers: "ping" gives "pong <pid>", "stall" never gets an answer (a hung
// copy), "quit" gives "bye" and ends the process with exit code 0.
// Exit codes of "start": 1 found a running copy, 2 the name stayed taken,
// 3 claim impossible; of the others 3 when the name could not be claimed.

#include "TInstanceChannel.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

std::optional<QByteArray> answer(const QByteArray& request)
{
    if (request == "ping")
        return "pong " + QByteArray::number(QCoreApplication::applicationPid());
    if (request == "stall") {
        QThread::sleep(3600);
        return std::nullopt;
    }
    if (request == "quit") {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
        return QByteArray("bye");
    }
    return "echo " + request;
}

void report(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int serve(int argc, char** argv, TInstanceChannel& channel)
{
    QCoreApplication app(argc, argv);
    if (!channel.listen(answer))
        return 3;
    report("listening");
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 64;
    const std::string mode = argv[1];
    TInstanceChannel channel(QString::fromLocal8Bit(argv[2]));

    if (mode == "serve") {
        if (channel.claim() != TInstanceChannel::Reach::Claimed)
            return 3;
        return serve(argc, argv, channel);
    }
    if (mode == "hold") {
        if (channel.claim() != TInstanceChannel::Reach::Claimed)
            return 3;
        report("holding");
        while (std::getchar() != EOF) {
        }
        return 0;
    }
    if (mode == "start" && argc >= 4) {
        std::string go;
        std::getline(std::cin, go);
        // Like the program, the check runs before any application object exists.
        switch (channel.connectOrClaim(QDeadlineTimer(10000))) {
        case TInstanceChannel::Reach::Connected: {
            const auto pong = channel.ask("ping", QDeadlineTimer(5000));
            std::printf("found %s\n", pong ? pong->constData() : "nothing");
            return 1;
        }
        case TInstanceChannel::Reach::Taken:
            return 2;
        case TInstanceChannel::Reach::Unavailable:
            return 3;
        case TInstanceChannel::Reach::Claimed:
            QThread::msleep(std::stoul(argv[3]));
            return serve(argc, argv, channel);
        }
    }
    return 64;
}
