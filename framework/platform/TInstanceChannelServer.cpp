#include "platform/TInstanceChannelServer.h"

#include "core/ExceptionBoundary.h"
#include "platform/TInstanceChannelWire.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

using namespace TInstanceChannelWire;

namespace {

// The channel's answers are served from the user-interface thread and use
// file handles of the process: a flood of connections must reach neither.
// At most MaxConnections are open at once; a new one pushes out the one that
// has been idle longest, and one idle this long is dropped.
constexpr int IdleTimeoutMs = 3000;
// Open connections are looked at every second, for their idle time; with
// none open the sweep only checks that the server still listens, and wakes
// the process seldom, so an idle program stays asleep.
constexpr int SweepIntervalMs = 1000;
constexpr int QuietSweepIntervalMs = 5000;

} // namespace

TInstanceChannelServer::TInstanceChannelServer(QObject* parent)
    : QObject(parent)
{
    m_clock.start();
}

bool TInstanceChannelServer::listen(const QString& socketPath, Answerer answerer)
{
    m_answerer = std::move(answerer);
    if (m_server)
        return true;

    // Holding the lock means any socket file of this name was left by a
    // process that died without closing it.
    QLocalServer::removeServer(socketPath);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath)) {
        server->deleteLater();
        return false;
    }
    m_socketPath = socketPath;
    m_server = server;
    connect(server, &QLocalServer::newConnection, this, &TInstanceChannelServer::acceptConnections);
    if (!m_sweep) {
        m_sweep = new QTimer(this);
        connect(m_sweep, &QTimer::timeout, this, [this] { guarded(this, [this] { sweep(); }); });
    }
    startSweep();
    return true;
}

void TInstanceChannelServer::startSweep()
{
    m_sweep->start(m_connections.isEmpty() ? QuietSweepIntervalMs : SweepIntervalMs);
}

// The toolkit's server closes itself (and removes its socket file) when an
// accept fails, for example when the process is out of file handles; the
// name is still held, so the server listens again.
void TInstanceChannelServer::sweep()
{
    const qint64 now = m_clock.elapsed();
    const auto connections = m_connections;
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        if (now - it.value() >= IdleTimeoutMs)
            drop(it.key());
    }
    if (m_server && !m_server->isListening()) {
        m_server->deleteLater();
        m_server = nullptr;
        listen(m_socketPath, m_answerer);
    }
    if (m_sweep->isActive())
        startSweep();
}

void TInstanceChannelServer::dropIdlestConnection()
{
    QLocalSocket* idlest = nullptr;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (!m_answering.contains(it.key()) && (!idlest || it.value() < m_connections.value(idlest)))
            idlest = it.key();
    }
    if (idlest)
        drop(idlest);
}

void TInstanceChannelServer::drop(QLocalSocket* socket)
{
    m_connections.remove(socket);
    socket->abort();
    socket->deleteLater();
}

bool TInstanceChannelServer::isListening() const
{
    return m_server && m_server->isListening();
}

void TInstanceChannelServer::stopListening()
{
    if (m_sweep)
        m_sweep->stop();
    if (!m_server)
        return;
    m_server->close();
    m_server->deleteLater();
    m_server = nullptr;
}

void TInstanceChannelServer::acceptConnections()
{
    guarded(this, [this] {
        while (m_server && m_server->hasPendingConnections())
            serve(m_server->nextPendingConnection());
    });
}

// A connection of another user is refused; one over the cap pushes out the
// idlest.
void TInstanceChannelServer::serve(QLocalSocket* socket)
{
    if (!isPeerThisUser(socket->socketDescriptor())) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (m_connections.size() >= MaxConnections)
        dropIdlestConnection();
    m_connections.insert(socket, m_clock.elapsed());
    if (m_sweep && m_sweep->interval() != SweepIntervalMs)
        startSweep();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.remove(socket); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answerRequests(socket); });
    answerRequests(socket);
}

void TInstanceChannelServer::answerRequests(QLocalSocket* socket)
{
    // An answerer may open a modal dialog whose event loop delivers more data
    // on this socket; the outer call keeps answering in order.
    if (m_answering.contains(socket))
        return;
    m_answering.insert(socket);
    guarded(this, [&] { answerLines(socket); });
    m_answering.remove(socket);
}

// Answers every whole line that has come; a line too long, a dropped answer
// or answers left unread end the connection.
void TInstanceChannelServer::answerLines(QLocalSocket* socket)
{
    QPointer<QLocalSocket> alive(socket);
    while (alive && alive->canReadLine()) {
        QByteArray request = alive->readLine();
        if (request.size() > MaxLineLength + 1) {
            alive->abort();
            break;
        }
        request.chop(1);

        std::optional<QByteArray> answer;
        guarded(this, [&] { answer = m_answerer ? m_answerer(request) : std::nullopt; });
        if (!alive)
            break;
        if (!answer) {
            alive->abort();
            break;
        }
        alive->write(withoutLineBreaks(*answer).left(MaxLineLength) + '\n');
        alive->flush();
        // An asker that does not read its answers is not queued for.
        if (alive->bytesToWrite() > MaxQueuedBytes) {
            alive->abort();
            break;
        }
    }
    if (alive && m_connections.contains(alive))
        m_connections[alive] = m_clock.elapsed();
    if (alive && alive->bytesAvailable() > MaxLineLength)
        alive->abort();
}
