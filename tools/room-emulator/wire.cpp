// SPDX-License-Identifier: GPL-2.0-or-later
#include "wire.h"

#include <cstring>

namespace wire {

void appendU8(QByteArray &out, quint8 v)
{
    out.append(static_cast<char>(v));
}

void appendU16(QByteArray &out, quint16 v)
{
    out.append(static_cast<char>(v & 0xff));
    out.append(static_cast<char>((v >> 8) & 0xff));
}

void appendU32(QByteArray &out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xff));
}

void appendI32(QByteArray &out, qint32 v)
{
    appendU32(out, static_cast<quint32>(v));
}

void appendI64(QByteArray &out, qint64 v)
{
    const auto u = static_cast<quint64>(v);
    for (int i = 0; i < 8; ++i)
        out.append(static_cast<char>((u >> (8 * i)) & 0xff));
}

void appendF32(QByteArray &out, float v)
{
    quint32 bits = 0;
    static_assert(sizeof(bits) == sizeof(v), "32-bit float expected");
    std::memcpy(&bits, &v, sizeof(bits));
    appendU32(out, bits);
}

quint16 u16(const char *p)
{
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    return static_cast<quint16>(b[0] | (b[1] << 8));
}

quint32 u32(const char *p)
{
    const auto *b = reinterpret_cast<const unsigned char *>(p);
    return quint32(b[0]) | (quint32(b[1]) << 8) | (quint32(b[2]) << 16) | (quint32(b[3]) << 24);
}

qint32 i32(const char *p)
{
    return static_cast<qint32>(u32(p));
}

qint64 i64(const char *p)
{
    const quint64 lo = u32(p);
    const quint64 hi = u32(p + 4);
    return static_cast<qint64>(lo | (hi << 32));
}

float f32(const char *p)
{
    const quint32 bits = u32(p);
    float v = 0;
    std::memcpy(&v, &bits, sizeof(v));
    return v;
}

QByteArray frame(const QByteArray &payload)
{
    QByteArray out;
    out.reserve(4 + payload.size());
    appendU32(out, static_cast<quint32>(payload.size()));
    out.append(payload);
    return out;
}

QByteArray keepAlive()
{
    return QByteArray(4, '\0');
}

QByteArray command(const char *name)
{
    QByteArray out(name);
    out = out.leftJustified(CommandWidth, ' ', true);
    return out;
}

QString commandName(const QByteArray &payload)
{
    if (payload.size() < CommandWidth)
        return QString();
    return QString::fromUtf8(payload.constData(), CommandWidth).trimmed();
}

QString preview(const QByteArray &bytes, int max)
{
    QString out;
    const int n = qMin(bytes.size(), max);
    for (int i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(bytes.at(i));
        if (c >= 0x20 && c < 0x7f)
            out.append(QChar(c));
        else
            out.append(QStringLiteral("\\x%1").arg(c, 2, 16, QChar('0')));
    }
    if (bytes.size() > max)
        out.append(QStringLiteral("..."));
    return out;
}

} // namespace wire
