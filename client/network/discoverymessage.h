// SPDX-License-Identifier: GPL-2.0-or-later
// UDP discovery datagrams.
//
// Request (client to server), 14 bytes:
//   0  2  zero
//   2  5  room code, ASCII
//   7  6  "CLIENT"
//  13  1  zero
//
// Answer (server to client), 288 bytes used:
//   0   16  id, UTF-8 up to the first zero
//  16  255  room name, UTF-8 up to the first zero, trimmed
// 271    5  room code, UTF-8 up to the first zero, trimmed
// 276    2  TCP port, u16 LE
// 278    2  server type, u16 LE
// 280    4  users count, i32 LE
// 284    4  maximum users count, i32 LE
#pragma once

#include <QByteArray>
#include <QString>

namespace Kiv::Network {

constexpr int kDiscoveryRequestSize = 14;
constexpr int kDiscoveryAnswerSize = 288;
constexpr int kDiscoveryDatagramLimit = 1000;

struct DiscoveryAnswer {
    QString id;
    QString name;
    QString code;
    quint16 port = 0;
    quint16 type = 0;
    qint32 usersCount = 0;
    qint32 maxUsersCount = 0;
};

QByteArray buildDiscoveryRequest(const QString &code);

// False for datagrams shorter than an answer; bytes past 288 are ignored.
bool parseDiscoveryAnswer(const QByteArray &datagram, DiscoveryAnswer *answer);

} // namespace Kiv::Network
