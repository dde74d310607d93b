// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

class Connection;
class RoomActivity;
class StreamConnection;
struct EmulatorOptions;

// The stream endpoint: accepts the VIDEO and CONTROLS connections of every
// stream and finds them again for commands. Main thread only.
class StreamReceiver : public QObject {
    Q_OBJECT
public:
    StreamReceiver(const EmulatorOptions &options, RoomActivity *activity, QObject *parent = nullptr);

    bool listen(QString *error);
    quint16 port() const { return m_server.serverPort(); }

    // Takes over a connection whose first frame (already read) was a stream
    // handshake, e.g. one that arrived on the main TCP port.
    void adopt(Connection *connection, const QByteArray &firstPayload);

    // role: "video" or "controls"; falls back to the other connection of the
    // same stream. streamId < 0: the newest stream.
    StreamConnection *find(qint64 streamId, const QString &role) const;
    QList<StreamConnection *> connections() const;

private:
    void onNewConnection();
    StreamConnection *attach(Connection *connection);

    const EmulatorOptions &m_options;
    RoomActivity *m_activity;
    QTcpServer m_server;
    QList<QPointer<StreamConnection>> m_connections;
};
