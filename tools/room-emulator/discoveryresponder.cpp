// SPDX-License-Identifier: GPL-2.0-or-later
#include "discoveryresponder.h"

#include "eventlog.h"
#include "options.h"
#include "room.h"
#include "wire.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>

namespace {
constexpr int RequestSize = 14;
constexpr int AnswerSize = 288;
constexpr int MaxDatagram = 2048;

// Copies UTF-8 text into a zero-padded field, cut at a character boundary.
void putText(QByteArray &out, int offset, int width, const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > width) {
        int n = width;
        while (n > 0 && (static_cast<unsigned char>(bytes.at(n)) & 0xc0) == 0x80)
            --n;
        bytes.truncate(n);
    }
    out.replace(offset, bytes.size(), bytes);
}
} // namespace

DiscoveryResponder::DiscoveryResponder(const EmulatorOptions &options, RoomTable &rooms, QObject *parent)
    : QObject(parent), m_options(options), m_rooms(rooms), m_answering(options.discovery)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &DiscoveryResponder::onReadyRead);
}

bool DiscoveryResponder::bind(QString *error)
{
    QAbstractSocket::BindMode mode = QAbstractSocket::DefaultForPlatform;
    if (m_options.udpShare)
        mode = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
    // Group datagrams are addressed to the group, not to --bind, so hearing
    // them takes a socket bound to every address.
    const bool multicast = !m_options.multicastGroup.isNull();
    const QHostAddress address = multicast ? QHostAddress(QHostAddress::AnyIPv4) : m_options.bind;
    if (!m_socket.bind(address, static_cast<quint16>(m_options.udpPort), mode)) {
        *error = QStringLiteral("UDP port %1: %2").arg(m_options.udpPort).arg(m_socket.errorString());
        return false;
    }
    if (multicast) {
        QNetworkInterface iface;
        for (const QNetworkInterface &candidate : QNetworkInterface::allInterfaces()) {
            for (const QNetworkAddressEntry &entry : candidate.addressEntries()) {
                if (entry.ip() == m_options.bind)
                    iface = candidate;
            }
        }
        const bool joined = iface.isValid() ? m_socket.joinMulticastGroup(m_options.multicastGroup, iface)
                                            : m_socket.joinMulticastGroup(m_options.multicastGroup);
        if (!joined) {
            *error = QStringLiteral("multicast group %1: %2")
                         .arg(m_options.multicastGroup.toString(), m_socket.errorString());
            return false;
        }
    }
    return true;
}

QByteArray DiscoveryResponder::answer(const Room &room, quint16 tcpPort)
{
    QByteArray out(AnswerSize, '\0');
    putText(out, 0, 15, room.id);     // kept zero-terminated
    putText(out, 16, 254, room.name); // one byte kept for the terminator
    putText(out, 271, 5, room.code);
    QByteArray numbers;
    wire::appendU16(numbers, tcpPort);
    wire::appendU16(numbers, room.type);
    wire::appendI32(numbers, room.usersCount);
    wire::appendI32(numbers, room.maxUsersCount);
    out.replace(276, numbers.size(), numbers);
    return out;
}

void DiscoveryResponder::onReadyRead()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram(MaxDatagram);
        const QByteArray data = d.data();
        const QString from = QStringLiteral("%1:%2").arg(d.senderAddress().toString()).arg(d.senderPort());
        QJsonObject e{{QStringLiteral("from"), from}, {QStringLiteral("size"), data.size()}};
        if (data.size() < RequestSize || data.mid(7, 6) != QByteArrayLiteral("CLIENT")) {
            e.insert(QStringLiteral("reason"), QStringLiteral("not a discovery request"));
            e.insert(QStringLiteral("bytes"), wire::preview(data, 32));
            events().write(QStringLiteral("discovery.ignored"), e);
            continue;
        }
        const QString code = QString::fromLatin1(data.mid(2, 5));
        e.insert(QStringLiteral("code"), code);
        events().write(QStringLiteral("discovery.request"), e);
        const Room *room = m_rooms.find(code);
        if (!room || !m_answering) {
            e.insert(QStringLiteral("reason"),
                     room ? QStringLiteral("answering off") : QStringLiteral("code not hosted"));
            events().write(QStringLiteral("discovery.ignored"), e);
            continue;
        }
        m_socket.writeDatagram(answer(*room, m_tcpPort), d.senderAddress(), d.senderPort());
        events().write(QStringLiteral("discovery.answer"), {{QStringLiteral("to"), from},
                                                            {QStringLiteral("code"), code},
                                                            {QStringLiteral("id"), room->id},
                                                            {QStringLiteral("tcp_port"), m_tcpPort},
                                                            {QStringLiteral("users"), room->usersCount},
                                                            {QStringLiteral("max"), room->maxUsersCount}});
    }
}
