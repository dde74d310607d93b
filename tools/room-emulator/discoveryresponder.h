// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QUdpSocket>

class RoomTable;
struct EmulatorOptions;
struct Room;

// Answers discovery requests for the hosted rooms.
//
// Request, 14 bytes:          Answer, 288 bytes:
//   0..1   unused               0   16  id (UTF-8, zero padded)
//   2..6   room code            16  255 room name
//   7..12  "CLIENT"             271 5   room code
//   13     unused               276 2   TCP port   (u16 LE)
//                               278 2   type       (u16 LE)
//                               280 4   users      (i32 LE)
//                               284 4   max users  (i32 LE)
class DiscoveryResponder : public QObject {
    Q_OBJECT
public:
    DiscoveryResponder(const EmulatorOptions &options, RoomTable &rooms, QObject *parent = nullptr);

    bool bind(QString *error);
    quint16 port() const { return m_socket.localPort(); }
    void setAnswering(bool on) { m_answering = on; }
    bool answering() const { return m_answering; }
    // TCP port written into the answers.
    void setAnnouncedPort(quint16 port) { m_tcpPort = port; }

    static QByteArray answer(const Room &room, quint16 tcpPort);

private:
    void onReadyRead();

    const EmulatorOptions &m_options;
    RoomTable &m_rooms;
    QUdpSocket m_socket;
    bool m_answering = true;
    quint16 m_tcpPort = 0;
};
