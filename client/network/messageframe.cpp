// SPDX-License-Identifier: GPL-2.0-or-later
#include "messageframe.h"

#include <QAbstractSocket>
#include <QIODevice>
#include <QtEndian>

namespace Kiv::Network {

QByteArray encodeFrame(const QByteArray &payload)
{
    QByteArray frame(kFrameHeaderSize, '\0');
    qToLittleEndian<qint32>(static_cast<qint32>(payload.size()), frame.data());
    frame.append(payload);
    return frame;
}

qint32 decodeFrameLength(const char *header)
{
    return qFromLittleEndian<qint32>(header);
}

static bool deviceGone(QIODevice &device)
{
    if (!device.isOpen())
        return true;
    auto *socket = qobject_cast<QAbstractSocket *>(&device);
    return socket && socket->state() != QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0;
}

FrameReader::Status FrameReader::readPayload(QIODevice &device, qint32 length, const std::function<bool()> &keepWaiting)
{
    if (length > kMaxFrameLength)
        return Status::TooLong;
    const int wanted = length < 0 ? 0 : length;
    // The buffer grows with the bytes that actually arrive, so a header alone
    // never costs the memory it announces.
    int done = 0;
    while (done < wanted) {
        if (device.bytesAvailable() == 0)
            device.waitForReadyRead(10);
        const int chunk = static_cast<int>(qMin<qint64>(device.bytesAvailable(), wanted - done));
        if (chunk > 0) {
            if (m_buffer.size() < done + chunk)
                m_buffer.resize(done + chunk);
            const qint64 got = device.read(m_buffer.data() + done, chunk);
            if (got < 0)
                return Status::Lost;
            done += static_cast<int>(got);
            if (got > 0)
                continue;
        }
        if (deviceGone(device))
            return Status::Lost;
        if (!keepWaiting())
            return Status::Aborted;
    }
    if (m_buffer.size() != wanted)
        m_buffer.resize(wanted);
    return Status::Complete;
}

} // namespace Kiv::Network
