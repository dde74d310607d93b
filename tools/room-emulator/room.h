// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QString>

// One hosted room, as announced by discovery and the code test.
struct Room {
    QString code;
    QString name;
    qint32 usersCount = 1;
    qint32 maxUsersCount = 10;
    quint16 type = 2;
    QString id;
};

// Parses CODE[:NAME[:USERS[:MAX[:TYPE[:ID]]]]]. With six or more fields the
// last four are numbers and id, so a name may itself contain ':'.
bool parseRoom(const QString &text, Room *room, QString *error);

// Rooms hosted by one emulator; looked up by exact code.
class RoomTable {
public:
    void add(const Room &room) { m_rooms.append(room); }
    Room *find(const QString &code);
    const QList<Room> &all() const { return m_rooms; }

private:
    QList<Room> m_rooms;
};
