// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class Connection;
class H264Decoder;
class QJsonObject;
class RoomActivity;
struct AVFrame;
struct EmulatorOptions;

// The receiving side of one stream connection. Frames on the wire:
//
//   handshake  { "connection_type" : "STREAM_VIDEO", "ID" : <id>}
//   command    +------------------+------------------------+
//              | 0..9 name, ' '-  | 10.. arguments (LE)    |
//              | padded ASCII     |                        |
//              +------------------+------------------------+
//
// Descriptors ("ID", "STREAMTYPE", "CODEC" / "TOUCH", "TRACKPAD") tell the
// VIDEO connection from the CONTROLS one; "FRAME" carries one H.264 access
// unit. Owned by its Connection (child object).
class StreamConnection : public QObject {
    Q_OBJECT
public:
    StreamConnection(Connection *connection, const EmulatorOptions &options, RoomActivity *activity);
    ~StreamConnection() override;

    void handleFrame(const QByteArray &payload);

    Connection *connection() const { return m_connection; }
    qint64 streamId() const { return m_streamId; }
    QString role() const { return m_role; }
    int framesReceived() const { return m_frames; }

    // Sends a command frame (name padded to the command field) and logs it.
    void sendCommand(const char *name, const QByteArray &arguments = QByteArray());

private:
    void handleHandshake(const QByteArray &payload);
    void handleCommand(const QByteArray &payload);
    void handleDescriptor(const QString &name, const QByteArray &payload);
    void handleVideoFrame(const QByteArray &payload);
    void malformed(const QString &error);
    void inspectPicture(const AVFrame *picture, QJsonObject *event);
    void onClosing();

    Connection *m_connection;
    const EmulatorOptions &m_options;
    RoomActivity *m_activity;
    bool m_handshakeDone = false;
    qint64 m_streamId = -1;
    QString m_role;
    QStringList m_descriptors;
    bool m_readyLogged = false;
    std::unique_ptr<H264Decoder> m_decoder;
    int m_frames = 0;
    int m_pictures = 0;
    bool m_broken = false;
};
