// SPDX-License-Identifier: GPL-2.0-or-later
#include "networkconfiguration.h"

#include "networkfilecipher.h"
#include "networklog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace Kiv::Network {

static constexpr qint64 kMaxNetworkFileSize = 4 * 1024 * 1024;

static bool isIpv4Literal(const QString &host)
{
    const QStringList pieces = host.split(QLatin1Char('.'));
    if (pieces.size() != 4)
        return false;
    for (const QString &piece : pieces) {
        bool ok = false;
        const uint value = piece.toUInt(&ok, 10);
        if (!ok || value > 255)
            return false;
    }
    return true;
}

NetworkConfiguration NetworkConfiguration::fromJson(const QByteArray &text)
{
    NetworkConfiguration c;
    const QJsonObject o = QJsonDocument::fromJson(text).object();
    if (o.contains(QLatin1String("broadcast")))
        c.broadcast = o.value(QLatin1String("broadcast")).toBool();
    if (o.contains(QLatin1String("multicast")))
        c.multicast = o.value(QLatin1String("multicast")).toBool();
    if (o.contains(QLatin1String("multicastAddress")))
        c.multicastAddress = o.value(QLatin1String("multicastAddress")).toString();
    if (o.contains(QLatin1String("tcpPort")))
        c.tcpPort = o.value(QLatin1String("tcpPort")).toInt(0);
    if (o.contains(QLatin1String("udpUnicast")))
        c.udpUnicast = o.value(QLatin1String("udpUnicast")).toBool();
    if (o.contains(QLatin1String("servers"))) {
        const QJsonArray servers = o.value(QLatin1String("servers")).toArray();
        for (const QJsonValue &entry : servers) {
            const QString textEntry = entry.toString();
            Server server{textEntry, c.tcpPort};
            if (textEntry.contains(QLatin1Char(':'))) {
                const QStringList pieces = textEntry.split(QLatin1Char(':'));
                server.host = pieces.at(0);
                if (pieces.size() > 1)
                    server.port = pieces.at(1).toInt(nullptr, 10);
            }
            if (isIpv4Literal(server.host))
                c.addressServers.append(server);
            else
                c.namedServers.append(server);
        }
    }
    return c;
}

QString NetworkConfiguration::locate(const QString &workingDirectory, const QString &machineDataFolder, bool *encrypted)
{
    const QString sep = QDir::separator();
    const QString machine = machineDataFolder + sep + QStringLiteral("Velmorant Client") + sep;
    struct Candidate {
        QString path;
        bool encrypted;
    };
    QList<Candidate> candidates;
    candidates.append({QDir::cleanPath(workingDirectory + sep + QStringLiteral("network")), true});
    if (!machineDataFolder.isEmpty())
        candidates.append({QDir::cleanPath(machine + QStringLiteral("network")), true});
    candidates.append({QDir::cleanPath(workingDirectory + sep + QStringLiteral("network.json")), false});
    if (!machineDataFolder.isEmpty())
        candidates.append({QDir::cleanPath(machine + QStringLiteral("network.json")), false});
    for (const Candidate &candidate : candidates) {
        if (QFileInfo(candidate.path).isFile()) {
            if (encrypted)
                *encrypted = candidate.encrypted;
            return candidate.path;
        }
    }
    return {};
}

QByteArray NetworkConfiguration::readText(const QString &workingDirectory, const QString &machineDataFolder,
                                          const std::string &key)
{
    bool encrypted = false;
    const QString path = locate(workingDirectory, machineDataFolder, &encrypted);
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcNetwork) << "cannot read network configuration" << path << file.errorString();
        return {};
    }
    // A real configuration is a few hundred bytes; anything this large is
    // not one and is not worth reading into memory.
    if (file.size() > kMaxNetworkFileSize) {
        qCWarning(lcNetwork) << "network configuration" << path << "too large:" << file.size() << "bytes; ignored";
        return {};
    }
    const QByteArray content = file.readAll();
    qCDebug(lcNetwork) << "network configuration from" << path;
    return encrypted ? decryptNetworkFile(content, key) : content;
}

} // namespace Kiv::Network
