#pragma once

#include "platform/TInstanceChannelAsker.h"
#include "platform/TInstanceChannelServer.h"
#include "platform/TInstanceChannelWire.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QLockFile;

// A named meeting point for the copies of one program run by one user. One
// process claims the name and answers requests on it; any other process can
// connect and ask. The claim is a lock file held for the claimer's life, so it
// is atomic across processes, and a claim or socket left behind by a process
// that died is taken over by the next claimer. Where the user's copies may
// keep their files in more than one folder, the claim holds the name in every
// one of them and the owner listens in the first; an asker looks in each.
//
// A request and its answer are each one line of bytes; the asking side blocks
// (with a deadline) and needs no event loop or application object, while the
// claiming side answers from the event loop of the thread that owns it. The
// claim is held here; the serving and the asking are objects of their own.
class TInstanceChannel : public QObject {
    Q_OBJECT

public:
    using Answerer = TInstanceChannelServer::Answerer;

    enum class Reach {
        Connected,   // a copy that listens on the name accepted the connection
        Claimed,     // this object holds the name
        Taken,       // a live process holds the name but does not listen (yet)
        Unavailable, // the name can be neither reached nor claimed, e.g. no writable temp folder
    };

    static constexpr qsizetype MaxLineLength = TInstanceChannelWire::MaxLineLength;
    static constexpr qsizetype MaxQueuedBytes = TInstanceChannelServer::MaxQueuedBytes;
    static constexpr int MaxConnections = TInstanceChannelServer::MaxConnections;

    explicit TInstanceChannel(QString name, QObject* parent = nullptr);
    ~TInstanceChannel() override;

    // The name for a window class and caption of the current user on the
    // current display, safe as a file name on every platform and short enough
    // for a local socket path. The executable's path is not part of it, so a
    // copy started from another folder meets the same name.
    static QString nameFor(const QString& className, const QString& title);

    const QString& name() const { return m_name; }
    QString lockFilePath() const;
    QString socketPath() const;

    // Claiming side.
    Reach claim(); // Claimed, Taken or Unavailable
    bool isClaimed() const;
    // True when this object's claim took over one left behind by a holder
    // that died holding it, so that holder did not end normally.
    bool claimedAfterCrash() const { return m_claimedAfterCrash; }
    // Answers requests from now on; needs the claim. A socket file left by a
    // dead claimer is removed first. Calling it again replaces the answerer.
    bool listen(Answerer answerer);
    bool isListening() const;
    // Closes the socket; the claim stays until this object is destroyed, so a
    // copy that is shutting down is not joined by a new one before it ends.
    void stopListening();

    // Asking side.
    bool connectToOwner(QDeadlineTimer deadline);
    bool isConnected() const;
    void disconnectFromOwner();
    // Sends one request line and waits for its answer line; std::nullopt when
    // the owner dropped the connection or did not answer before the deadline.
    std::optional<QByteArray> ask(const QByteArray& request, QDeadlineTimer deadline);

    // Connects to the owner, or claims the name when no one holds it, retrying
    // until the deadline while a live holder has not started listening. Returns
    // Connected, Claimed, Unavailable, or Taken when the deadline passed.
    Reach connectOrClaim(QDeadlineTimer deadline);

private:
    bool lockIn(const QString& folder, bool& isTaken);
    QString folder() const;

    QString m_name;
    // The claim's locks, one per folder; the first folder is the socket's.
    std::vector<std::unique_ptr<QLockFile>> m_locks;
    QStringList m_folders;
    bool m_claimedAfterCrash = false;
    TInstanceChannelServer* m_server; // child of this object
    TInstanceChannelAsker m_asker;
};
