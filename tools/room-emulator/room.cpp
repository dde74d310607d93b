// SPDX-License-Identifier: GPL-2.0-or-later
#include "room.h"

#include <QStringList>

bool parseRoom(const QString &text, Room *room, QString *error)
{
    QStringList parts = text.split(QLatin1Char(':'));
    Room r;
    r.code = parts.takeFirst().trimmed();
    if (r.code.size() != 5) {
        *error = QStringLiteral("room code must have 5 characters: \"%1\"").arg(r.code);
        return false;
    }
    r.name = QStringLiteral("Room %1").arg(r.code);
    r.id = QStringLiteral("emu-%1").arg(r.code.toLower());
    QStringList tail;
    if (parts.size() > 5) {
        // NAME:USERS:MAX:TYPE:ID with a name that contains ':'.
        tail = parts.mid(parts.size() - 4);
        r.name = parts.mid(0, parts.size() - 4).join(QLatin1Char(':'));
    } else if (!parts.isEmpty()) {
        r.name = parts.takeFirst();
        tail = parts;
    }
    bool ok = true;
    if (tail.size() > 0 && !tail[0].isEmpty())
        r.usersCount = tail[0].toInt(&ok);
    if (ok && tail.size() > 1 && !tail[1].isEmpty())
        r.maxUsersCount = tail[1].toInt(&ok);
    if (ok && tail.size() > 2 && !tail[2].isEmpty())
        r.type = tail[2].toUShort(&ok);
    if (!ok) {
        *error = QStringLiteral("bad number in room \"%1\"").arg(text);
        return false;
    }
    if (tail.size() > 3 && !tail[3].isEmpty())
        r.id = tail[3];
    if (r.id.toUtf8().size() > 15) {
        *error = QStringLiteral("room id longer than 15 bytes: \"%1\"").arg(r.id);
        return false;
    }
    if (r.name.toUtf8().size() > 254) {
        *error = QStringLiteral("room name longer than 254 bytes");
        return false;
    }
    *room = r;
    return true;
}

Room *RoomTable::find(const QString &code)
{
    for (Room &r : m_rooms) {
        if (r.code == code)
            return &r;
    }
    return nullptr;
}
