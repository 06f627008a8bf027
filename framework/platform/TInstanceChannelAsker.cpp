#include "platform/TInstanceChannelAsker.h"

#include "platform/TInstanceChannelFolders.h"
#include "platform/TInstanceChannelWire.h"

#include <QDir>
#include <QLocalSocket>

using namespace TInstanceChannelWire;

TInstanceChannelAsker::TInstanceChannelAsker() = default;

TInstanceChannelAsker::~TInstanceChannelAsker() = default;

bool TInstanceChannelAsker::connectToOwner(const QString& name, QDeadlineTimer deadline)
{
    const QStringList folders = TInstanceChannelFolders::All(false);
    for (const QString& candidate : folders) {
        auto connection = std::make_unique<QLocalSocket>();
        connection->connectToServer(QDir(candidate).filePath(name));
        if (connection->waitForConnected(remainingMs(deadline)) && isPeerThisUser(connection->socketDescriptor())) {
            m_connection = std::move(connection);
            return true;
        }
    }
    return false;
}

bool TInstanceChannelAsker::isConnected() const
{
    return m_connection && m_connection->state() == QLocalSocket::ConnectedState;
}

void TInstanceChannelAsker::disconnectFromOwner()
{
    m_connection.reset();
}

std::optional<QByteArray> TInstanceChannelAsker::ask(const QByteArray& request, QDeadlineTimer deadline)
{
    if (!isConnected())
        return std::nullopt;
    m_connection->write(withoutLineBreaks(request) + '\n');
    m_connection->flush();
    while (!m_connection->canReadLine()) {
        if (m_connection->bytesAvailable() > MaxLineLength || deadline.hasExpired()
            || !m_connection->waitForReadyRead(remainingMs(deadline))) {
            disconnectFromOwner();
            return std::nullopt;
        }
    }
    QByteArray answer = m_connection->readLine();
    answer.chop(1);
    return answer;
}
