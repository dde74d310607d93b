// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QString>

// A key as the room sends it in KEYB_EVENT:
//
//   +-----------+----------------+-----------------+
//   | 10 action | 11..12 vk (LE) | 13..14 scan (LE) |
//   +-----------+----------------+-----------------+
//
// vk is a Windows virtual-key code, scan a set-1 scan code. The receiver
// reads vk == scan as an extended key named by vk, and vk 0 as a UTF-16
// unit carried in scan.
struct RoomKey {
    quint16 vk = 0;
    quint16 scan = 0;
    bool operator==(const RoomKey &o) const { return vk == o.vk && scan == o.scan; }
};

// The keys for one key event of the display window: from the X keycode when
// there is one (the physical key, whatever the layout), else from the Qt key,
// else the typed text as UTF-16 units. Empty when nothing fits.
QList<RoomKey> roomKeys(int qtKey, quint32 xKeycode, const QString &text);
