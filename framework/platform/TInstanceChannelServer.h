#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QTimer;

// The serving side of an instance channel: the claimer's listening socket and
// the connections of the copies that ask it. It answers from the event loop
// of the thread that owns it, one request line at a time, and keeps a flood
// of connections or of unread answers from reaching the user-interface
// thread or the process's file handles.
class TInstanceChannelServer : public QObject {
    Q_OBJECT

public:
    // Turns a request into its answer; std::nullopt drops the connection.
    using Answerer = std::function<std::optional<QByteArray>(const QByteArray& request)>;

    // The most answers queued for an asker that does not read them.
    static constexpr qsizetype MaxQueuedBytes = 64 * 1024;
    // The most connections served at once.
    static constexpr int MaxConnections = 16;

    explicit TInstanceChannelServer(QObject* parent = nullptr);

    // Answers requests on the socket path from now on; a socket file left
    // there is removed first, so the caller must hold the name. Calling it
    // again replaces the answerer.
    bool listen(const QString& socketPath, Answerer answerer);
    bool isListening() const;
    // Closes the socket.
    void stopListening();
    // The connections open now.
    int connectionCount() const { return int(m_connections.size()); }

private:
    void acceptConnections();
    void serve(QLocalSocket* socket);
    void answerRequests(QLocalSocket* socket);
    void answerLines(QLocalSocket* socket);
    void sweep();
    void startSweep();
    void dropIdlestConnection();
    void drop(QLocalSocket* socket);

    QString m_socketPath;
    QLocalServer* m_server = nullptr; // child of this object
    Answerer m_answerer;
    QSet<const QLocalSocket*> m_answering;
    QHash<QLocalSocket*, qint64> m_connections; // served sockets, with their last activity
    QElapsedTimer m_clock;
    QTimer* m_sweep = nullptr; // child of this object
};
