// SPDX-License-Identifier: GPL-2.0-or-later
// Incoming input messages as a receiver sends them: a 10-byte command name
// (blank padded), then little-endian fields.
//
//   MOUS_EVENT / RPOS_EVENT: int32 pointer id, float x, float y, u8 action, u8 button
//   KEYB_EVENT:              u8 action, u16 virtual key, u16 scan code
//   TACT_EVENT:              int32 id, float x, float y, int32 action, int32 contact
#pragma once

#include <QByteArray>
#include <QtEndian>

#include <cstring>

namespace inputpayloads {

inline QByteArray command(const char *pName)
{
    return QByteArray(pName).leftJustified(10, ' ');
}

inline void appendInt32(QByteArray &pData, qint32 pValue)
{
    char bytes[4];
    qToLittleEndian(pValue, bytes);
    pData.append(bytes, 4);
}

inline void appendFloat(QByteArray &pData, float pValue)
{
    quint32 bits;
    std::memcpy(&bits, &pValue, 4);
    appendInt32(pData, qint32(bits));
}

inline QByteArray mousePayload(bool pRelative, qint32 pId, float pX, float pY, quint8 pAction, quint8 pButton)
{
    QByteArray data = command(pRelative ? "RPOS_EVENT" : "MOUS_EVENT");
    appendInt32(data, pId);
    appendFloat(data, pX);
    appendFloat(data, pY);
    data.append(char(pAction));
    data.append(char(pButton));
    return data;
}

inline QByteArray keyPayload(quint8 pAction, quint16 pVk, quint16 pScan)
{
    QByteArray data = command("KEYB_EVENT");
    data.append(char(pAction));
    char bytes[2];
    qToLittleEndian(pVk, bytes);
    data.append(bytes, 2);
    qToLittleEndian(pScan, bytes);
    data.append(bytes, 2);
    return data;
}

inline QByteArray touchPayload(qint32 pId, float pX, float pY, qint32 pAction, qint32 pContact = 1)
{
    QByteArray data = command("TACT_EVENT");
    appendInt32(data, pId);
    appendFloat(data, pX);
    appendFloat(data, pY);
    appendInt32(data, pAction);
    appendInt32(data, pContact);
    return data;
}

} // namespace inputpayloads
