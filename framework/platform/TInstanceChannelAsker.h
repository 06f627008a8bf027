#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <memory>
#include <optional>

class QLocalSocket;

// The asking side of an instance channel: a later copy's connection to the
// copy that holds the name, and its questions. It blocks (with a deadline)
// and needs no event loop or application object.
class TInstanceChannelAsker {
public:
    TInstanceChannelAsker();
    ~TInstanceChannelAsker();
    TInstanceChannelAsker(const TInstanceChannelAsker&) = delete;
    TInstanceChannelAsker& operator=(const TInstanceChannelAsker&) = delete;

    // The owner of the name listens in one of the user's folders; each is
    // looked in.
    bool connectToOwner(const QString& name, QDeadlineTimer deadline);
    bool isConnected() const;
    void disconnectFromOwner();
    // Sends one request line and waits for its answer line; std::nullopt when
    // the owner dropped the connection or did not answer before the deadline.
    std::optional<QByteArray> ask(const QByteArray& request, QDeadlineTimer deadline);

private:
    std::unique_ptr<QLocalSocket> m_connection;
};
