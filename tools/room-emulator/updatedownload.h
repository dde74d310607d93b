// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QFile>
#include <QObject>

class Connection;

// Sends the installer of an update download:
//
//   server: header frame  [ size u32 LE ]
//   server: chunk frame   [ next piece ]     client: 00 00 00 00 (ack)
//   ... until size bytes went out; the next chunk waits for the ack.
// Owned by its Connection (child object).
class UpdateDownload : public QObject {
    Q_OBJECT
public:
    UpdateDownload(Connection *connection, const QString &installer, int chunkSize);
    void start();

private:
    void sendNextChunk();

    Connection *m_connection;
    QFile m_file;
    int m_chunkSize;
    quint32 m_total = 0;
    quint32 m_sent = 0;
    int m_acks = 0;
    bool m_awaitingAck = false;
};
