// SPDX-License-Identifier: GPL-2.0-or-later
// The message frame every TCP exchange of the client speaks:
//
//   offset 0  4 bytes   length, signed 32-bit little-endian
//   offset 4  length    payload
//
// Length 0 is a keep-alive. A negative length carries no payload and reads as
// an empty message. Lengths above kMaxFrameLength come only from broken or
// hostile peers and end the exchange before anything is allocated.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

class QIODevice;

namespace Kiv::Network {

constexpr qint32 kMaxFrameLength = 64 * 1024 * 1024;
constexpr int kFrameHeaderSize = 4;

// The 4-byte length followed by the payload.
QByteArray encodeFrame(const QByteArray &payload);

// The length stored in a 4-byte header.
qint32 decodeFrameLength(const char *header);

// Reads the payload of one frame whose header has been read. The buffer is
// kept between frames; it grows only as payload bytes arrive.
// Used by one thread at a time.
class FrameReader {
public:
    enum class Status { Complete, Lost, TooLong, Aborted };

    // Reads until the payload is complete. Between short waits for data it
    // asks keepWaiting; false there ends the read with Aborted (stop, time
    // limit). A device that fails or is no longer connected gives Lost.
    Status readPayload(QIODevice &device, qint32 length, const std::function<bool()> &keepWaiting);

    // The payload of the last complete frame.
    const QByteArray &payload() const { return m_buffer; }

private:
    QByteArray m_buffer;
};

} // namespace Kiv::Network
