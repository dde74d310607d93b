// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "options.h"
#include "room.h"
#include "roomactivity.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

class Connection;
class DiscoveryResponder;
class Session;
class StreamReceiver;

// The whole stand-in room display: discovery, the main TCP endpoint with its
// four exchanges, sessions, the stream receiver and the control commands.
// Everything runs on the main thread's event loop.
class Emulator : public QObject {
    Q_OBJECT
public:
    explicit Emulator(const EmulatorOptions &options, QObject *parent = nullptr);
    ~Emulator() override;

    bool start(QString *error);
    // Closes every connection; emits finished() once they are gone.
    void shutdown(const QString &reason);

    const EmulatorOptions &options() const { return m_options; }
    // What the room received, for the room display window.
    RoomActivity *activity() { return &m_activity; }

    // Session services.
    int acceptTransfer(const QString &fileName);
    void registerTransfer(int transferId, const QString &fileName);
    QJsonObject nextStreamStart();
    QByteArray captureImage();

    void execute(const QJsonObject &command);

signals:
    void finished();

private:
    void onNewConnection();
    void onFirstFrame(Connection *connection, const QByteArray &payload);
    void answerCodeTest(Connection *connection, const QJsonObject &request);
    void startFileTransfer(Connection *connection, const QJsonObject &greeting);
    Session *findSession(const QJsonObject &command) const;
    bool sendStreamCommand(const QJsonObject &command, const char *name, const QByteArray &arguments,
                           const QString &defaultRole, QString *error);
    QJsonObject status() const;

    EmulatorOptions m_options;
    RoomActivity m_activity;
    RoomTable m_rooms;
    QTcpServer m_tcp;
    DiscoveryResponder *m_discovery = nullptr;
    StreamReceiver *m_streams = nullptr;
    QList<QPointer<Session>> m_sessions;
    QHash<int, QString> m_transfers;
    int m_nextTransferId;
    qint64 m_nextStreamId;
    QByteArray m_capture;
    bool m_shuttingDown = false;
};
