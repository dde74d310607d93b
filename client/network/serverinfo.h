// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

namespace Kiv::Network {

// One found display server; a value copied from the finder to its users.
// Identified by (address, port, id).
struct ServerInfo {
    QString name;
    QString address; // IPv4 in dotted text
    quint16 port = 0;
    quint16 type = 0;
    QDateTime lastSeen;
    QDateTime firstSeen; // invalid for entries made by a code test
    QString id;
    int usersCount = 0;
    int maxUsersCount = 0; // 0 or less: no limit shown
};

} // namespace Kiv::Network
