// SPDX-License-Identifier: GPL-2.0-or-later
// The server record of a room emulator listening on loopback, as the code
// window would hand it to the session window.
#pragma once

#include "network/serverinfo.h"

inline Kiv::Network::ServerInfo loopbackRoom(quint16 pPort)
{
    Kiv::Network::ServerInfo info;
    info.name = QStringLiteral("Salle 12");
    info.address = QStringLiteral("127.0.0.1");
    info.port = pPort;
    info.type = 2;
    return info;
}
