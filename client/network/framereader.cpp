// SPDX-License-Identifier: GPL-2.0-or-later
#include "framereader.h"

#include <QAbstractSocket>
#include <QIODevice>
#include <QtEndian>

#include <cstring>

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

bool FrameHeader::push(const char *data, int size)
{
    Q_ASSERT(size >= 0 && size <= wanted());
    if (size <= 0)
        return false;
    std::memcpy(m_bytes + m_done, data, size_t(size));
    m_done += size;
    if (m_done < kFrameHeaderSize)
        return false;
    m_done = 0;
    m_length = decodeFrameLength(m_bytes);
    return true;
}

int FrameDecoder::wanted() const
{
    if (m_tooLong)
        return 0;
    if (m_inPayload)
        return m_length - m_payloadDone;
    return m_header.wanted();
}

FrameDecoder::Event FrameDecoder::push(const char *data, int size)
{
    Q_ASSERT(size >= 0 && size <= wanted());
    if (m_tooLong || size <= 0)
        return Event::None;
    if (!m_inPayload) {
        if (!m_header.push(data, size))
            return Event::None;
        m_length = m_header.length();
        if (m_length == 0)
            return Event::KeepAlive;
        if (m_length > m_maxLength) {
            m_tooLong = true;
            return Event::TooLong;
        }
        m_payloadDone = 0;
        if (m_length < 0) {
            m_payload.clear();
            return Event::Frame;
        }
        m_inPayload = true;
        return Event::None;
    }
    if (m_payload.size() < m_payloadDone + size)
        m_payload.resize(m_payloadDone + size);
    std::memcpy(m_payload.data() + m_payloadDone, data, size_t(size));
    m_payloadDone += size;
    if (m_payloadDone < m_length)
        return Event::None;
    if (m_payload.size() != m_length)
        m_payload.resize(m_length);
    m_inPayload = false;
    return Event::Frame;
}

static bool deviceGone(QIODevice &device)
{
    if (!device.isOpen())
        return true;
    auto *socket = qobject_cast<QAbstractSocket *>(&device);
    return socket && socket->state() != QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0;
}

FrameReader::Status FrameReader::readFrame(QIODevice &device, const std::function<bool()> &keepWaiting)
{
    char buffer[16 * 1024];
    for (;;) {
        const int wanted = m_decoder.wanted();
        if (wanted == 0)
            return Status::TooLong;
        if (device.bytesAvailable() == 0)
            device.waitForReadyRead(10);
        const qint64 chunk = qMin<qint64>(qMin<qint64>(device.bytesAvailable(), wanted), qint64(sizeof buffer));
        if (chunk > 0) {
            const qint64 got = device.read(buffer, chunk);
            if (got < 0)
                return Status::Lost;
            switch (m_decoder.push(buffer, int(got))) {
            case FrameDecoder::Event::None:
                break;
            case FrameDecoder::Event::KeepAlive:
                return Status::KeepAlive;
            case FrameDecoder::Event::Frame:
                return Status::Complete;
            case FrameDecoder::Event::TooLong:
                return Status::TooLong;
            }
            if (got > 0)
                continue;
        }
        if (deviceGone(device))
            return Status::Lost;
        if (!keepWaiting())
            return Status::Aborted;
    }
}

} // namespace Kiv::Network
