// SPDX-License-Identifier: GPL-2.0-or-later
// The machine-wide network configuration: where it is looked for, how it is
// read and what its keys mean. Plain values and stateless functions.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <string>

namespace Kiv::Network {

struct NetworkConfiguration {
    struct Server {
        QString host;
        int port = 0;
        bool operator==(const Server &other) const { return host == other.host && port == other.port; }
    };

    bool broadcast = false;
    bool multicast = false;
    QString multicastAddress = QStringLiteral("239.42.33.63");
    int tcpPort = 18413;
    bool udpUnicast = false;
    // "servers" entries in array order: IPv4 literals, and host names still
    // to be looked up (with the port their entry gave).
    QList<Server> addressServers;
    QList<Server> namedServers;

    // Applies the keys of a JSON object text; anything else gives defaults.
    static NetworkConfiguration fromJson(const QByteArray &text);

    // The text of the first existing file among: "network" (encrypted) in the
    // working directory, "<machine>/Velmorant Client/network" (encrypted),
    // "network.json" in the working directory, "<machine>/Velmorant
    // Client/network.json". An empty machine folder skips its two entries.
    static QByteArray readText(const QString &workingDirectory, const QString &machineDataFolder,
                               const std::string &key);

    // The file readText would use, or an empty string.
    static QString locate(const QString &workingDirectory, const QString &machineDataFolder, bool *encrypted);
};

} // namespace Kiv::Network
