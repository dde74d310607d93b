// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

namespace Kiv::Network {

// A server from the network configuration, tested directly over TCP.
struct ConfiguredServer {
    QString host; // IPv4 address in dotted text
    int port = 0;
    QDateTime lastTest; // start of the last code test towards it
};

} // namespace Kiv::Network
