// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QCryptographicHash>
#include <QObject>
#include <QSaveFile>

#include <memory>

class Connection;
class RoomActivity;
struct EmulatorOptions;

// Receives one file announced by FileAccepted:
//
//   client: greeting  { "connection_type" : "FILE_TRANSFER", "transfer_id" : N }
//   server: any non-empty frame
//   client: header    [ 1 i32 LE ][ size i32 LE ]
//   client: data      [ 2 i32 LE ][ bytes... ]   repeated, >= 1 frame
//   server: any non-empty frame once size bytes arrived
// Owned by its Connection (child object).
class FileTransfer : public QObject {
    Q_OBJECT
public:
    FileTransfer(Connection *connection, int transferId, const QString &fileName, const EmulatorOptions &options,
                 RoomActivity *activity);
    void start();

    // The announced name reduced to a plain file name inside the save folder.
    static QString safeFileName(const QString &announced, int transferId);

private:
    void onFrame(const QByteArray &payload);
    void fail(const QString &error);
    void finish();

    Connection *m_connection;
    int m_transferId;
    QString m_fileName;
    const EmulatorOptions &m_options;
    RoomActivity *m_activity;
    std::unique_ptr<QSaveFile> m_file;
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    qint64 m_size = -1;
    qint64 m_received = 0;
    int m_dataFrames = 0;
    bool m_done = false;
};
