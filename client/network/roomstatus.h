// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "serverinfo.h"

#include <QString>

namespace Kiv::Network {

// What the code window shows for a found server.
struct RoomStatus {
    QString roomLabel;
    QString userCountText;
    bool userCountVisible = false;
    bool joinAllowed = true;
};

// Texts are translated in the context "UiCodeWindow".
RoomStatus roomStatus(const ServerInfo &server);

} // namespace Kiv::Network
