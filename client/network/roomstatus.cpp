// SPDX-License-Identifier: GPL-2.0-or-later
#include "roomstatus.h"

#include <QCoreApplication>

namespace Kiv::Network {

static void replaceFirst(QString &text, const QString &what, const QString &with)
{
    const int at = text.indexOf(what);
    if (at >= 0)
        text.replace(at, what.size(), with);
}

RoomStatus roomStatus(const ServerInfo &server)
{
    RoomStatus status;
    status.roomLabel = server.name;
    if (server.maxUsersCount <= 0)
        return status;
    status.joinAllowed = server.usersCount < server.maxUsersCount;
    QString count;
    if (server.usersCount < 0) {
        count = QCoreApplication::translate("UiCodeWindow", "No user.");
    } else {
        count = QCoreApplication::translate("UiCodeWindow", "%X% / %Y% users.");
        replaceFirst(count, QStringLiteral("%X%"), QString::number(server.usersCount));
        replaceFirst(count, QStringLiteral("%Y%"), QString::number(server.maxUsersCount));
    }
    status.userCountText =
        status.joinAllowed ? count : QCoreApplication::translate("UiCodeWindow", "Meeting is full.") + '\n' + count;
    status.userCountVisible = true;
    return status;
}

} // namespace Kiv::Network
