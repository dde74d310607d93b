// SPDX-License-Identifier: GPL-2.0-or-later
#include "discoverymessage.h"

#include <QtEndian>

#include <cstring>

namespace Kiv::Network {

QByteArray buildDiscoveryRequest(const QString &code)
{
    QByteArray request(kDiscoveryRequestSize, '\0');
    const QByteArray ascii = code.toLatin1().left(5);
    std::memcpy(request.data() + 2, ascii.constData(), static_cast<size_t>(ascii.size()));
    std::memcpy(request.data() + 7, "CLIENT", 6);
    return request;
}

static QString textField(const char *data, int size)
{
    const void *zero = std::memchr(data, 0, static_cast<size_t>(size));
    const int length = zero ? static_cast<int>(static_cast<const char *>(zero) - data) : size;
    return QString::fromUtf8(data, length);
}

bool parseDiscoveryAnswer(const QByteArray &datagram, DiscoveryAnswer *answer)
{
    if (datagram.size() < kDiscoveryAnswerSize)
        return false;
    const char *d = datagram.constData();
    answer->id = textField(d, 16);
    answer->name = textField(d + 16, 255).trimmed();
    answer->code = textField(d + 271, 5).trimmed();
    answer->port = qFromLittleEndian<quint16>(d + 276);
    answer->type = qFromLittleEndian<quint16>(d + 278);
    answer->usersCount = qFromLittleEndian<qint32>(d + 280);
    answer->maxUsersCount = qFromLittleEndian<qint32>(d + 284);
    return true;
}

} // namespace Kiv::Network
