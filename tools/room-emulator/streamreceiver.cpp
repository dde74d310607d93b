// SPDX-License-Identifier: GPL-2.0-or-later
#include "streamreceiver.h"

#include "connection.h"
#include "eventlog.h"
#include "options.h"
#include "streamconnection.h"

StreamReceiver::StreamReceiver(const EmulatorOptions &options, RoomActivity *activity, QObject *parent)
    : QObject(parent), m_options(options), m_activity(activity)
{
    connect(&m_server, &QTcpServer::newConnection, this, &StreamReceiver::onNewConnection);
}

bool StreamReceiver::listen(QString *error)
{
    if (!m_server.listen(m_options.bind, static_cast<quint16>(m_options.streamPort))) {
        *error = QStringLiteral("stream port %1: %2").arg(m_options.streamPort).arg(m_server.errorString());
        return false;
    }
    return true;
}

void StreamReceiver::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (Connection::openCount() >= m_options.maxConnections) {
            events().write(QStringLiteral("conn.refused"),
                           {{QStringLiteral("port"), QStringLiteral("stream")},
                            {QStringLiteral("reason"), QStringLiteral("too many connections")}});
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *connection = new Connection(socket, QStringLiteral("stream"), this);
        if (m_options.hasFault("slow-stream"))
            connection->setReadRate(m_options.slowRate);
        attach(connection);
    }
}

StreamConnection *StreamReceiver::attach(Connection *connection)
{
    auto *stream = new StreamConnection(connection, m_options, m_activity);
    m_connections.append(stream);
    // Forget connections that are gone, so the list stays as long as the live set.
    m_connections.removeAll(QPointer<StreamConnection>());
    return stream;
}

void StreamReceiver::adopt(Connection *connection, const QByteArray &firstPayload)
{
    connection->setParent(this);
    if (m_options.hasFault("slow-stream"))
        connection->setReadRate(m_options.slowRate);
    attach(connection)->handleFrame(firstPayload);
}

QList<StreamConnection *> StreamReceiver::connections() const
{
    QList<StreamConnection *> out;
    for (const QPointer<StreamConnection> &c : m_connections) {
        if (c && c->connection()->isOpen())
            out.append(c);
    }
    return out;
}

StreamConnection *StreamReceiver::find(qint64 streamId, const QString &role) const
{
    const QList<StreamConnection *> live = connections();
    qint64 id = streamId;
    if (id < 0) {
        for (StreamConnection *c : live) {
            if (c->streamId() >= 0)
                id = c->streamId();
        }
    }
    StreamConnection *fallback = nullptr;
    for (auto it = live.crbegin(); it != live.crend(); ++it) {
        StreamConnection *c = *it;
        if (c->streamId() != id)
            continue;
        if (c->role() == role)
            return c;
        if (!fallback)
            fallback = c;
    }
    return fallback;
}
