// SPDX-License-Identifier: GPL-2.0-or-later
#include "transport/streamcommand.h"

#include <QtEndian>
#include <cstring>

namespace StreamCommand {

QByteArray field(const QString &name)
{
    return name.leftJustified(FieldSize, QLatin1Char(' ')).toUtf8();
}

QString name(const QByteArray &payload)
{
    if (payload.size() < FieldSize)
        return QString();
    return QString::fromUtf8(payload.constData(), FieldSize).trimmed();
}

QByteArray handshake(quint32 streamId)
{
    return QByteArrayLiteral("{ \"connection_type\" : \"STREAM_VIDEO\", \"ID\" : ") + QByteArray::number(streamId) +
           '}';
}

QByteArray pause()
{
    return field(QStringLiteral("PAUSE"));
}

QByteArray frame(const QByteArray &packet)
{
    QByteArray out = field(QStringLiteral("FRAME"));
    out.reserve(FieldSize + packet.size());
    out.append(packet);
    return out;
}

QByteArray mousePosition(float x, float y, qint64 msecsSinceEpoch)
{
    QByteArray out = field(QStringLiteral("MOUSEPOS"));
    appendFloat(out, x);
    appendFloat(out, y);
    appendInt64(out, msecsSinceEpoch);
    return out;
}

QByteArray disconnect()
{
    return field(QStringLiteral("DISCONNECT"));
}

void appendUInt32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void appendInt64(QByteArray &out, qint64 value)
{
    char bytes[8];
    qToLittleEndian(value, bytes);
    out.append(bytes, 8);
}

void appendFloat(QByteArray &out, float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, 4);
    appendUInt32(out, bits);
}

qint32 readInt32(const QByteArray &payload, int offset)
{
    return qFromLittleEndian<qint32>(payload.constData() + offset);
}

quint16 readUInt16(const QByteArray &payload, int offset)
{
    return qFromLittleEndian<quint16>(payload.constData() + offset);
}

float readFloat(const QByteArray &payload, int offset)
{
    const quint32 bits = qFromLittleEndian<quint32>(payload.constData() + offset);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

} // namespace StreamCommand
