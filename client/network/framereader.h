// SPDX-License-Identifier: GPL-2.0-or-later
// The message frame every TCP exchange of the client speaks:
//
//   offset 0  4 bytes   length, signed 32-bit little-endian
//   offset 4  length    payload
//
// Length 0 is a keep-alive. A negative length carries no payload and reads as
// an empty message. Lengths above the reader's limit come only from broken or
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

// Collects one length header from bytes as they arrive; every reader of the
// client's exchanges takes its headers through this one.
class FrameHeader {
public:
    // Bytes the header still needs.
    int wanted() const { return kFrameHeaderSize - m_done; }
    // Takes size bytes, at most wanted(); true when the header is complete.
    // Then length() holds it and the next push starts the next header.
    bool push(const char *data, int size);
    qint32 length() const { return m_length; }

private:
    char m_bytes[kFrameHeaderSize] = {};
    int m_done = 0;
    qint32 m_length = 0;
};

// Splits a byte stream into frames without touching any device: the socket
// loops feed it what they read, the fuzz targets feed it anything. It never
// asks for more than the current header or payload still needs, so a caller
// that reads at most wanted() bytes leaves the next frame unread.
class FrameDecoder {
public:
    enum class Event {
        None,      // more bytes needed
        KeepAlive, // a header of length 0
        Frame,     // payload() holds a complete frame
        TooLong    // a header above the limit; the decoder takes nothing more
    };

    explicit FrameDecoder(qint32 maxLength = kMaxFrameLength) : m_maxLength(maxLength) {}

    // Bytes the current header or payload still needs (0 after TooLong).
    int wanted() const;
    // Takes size bytes, at most wanted().
    Event push(const char *data, int size);
    // True while a payload is being read (its header is complete).
    bool inPayload() const { return m_inPayload; }
    // The length of the last complete header.
    qint32 length() const { return m_length; }
    // The payload of the last Frame; the buffer grows only as bytes arrive,
    // so a header alone never costs the memory it announces.
    const QByteArray &payload() const { return m_payload; }

private:
    qint32 m_maxLength;
    FrameHeader m_header;
    bool m_inPayload = false;
    bool m_tooLong = false;
    qint32 m_length = 0;
    int m_payloadDone = 0;
    QByteArray m_payload;
};

// Reads whole frames from a device through a FrameDecoder.
// Used by one thread at a time.
class FrameReader {
public:
    enum class Status { Complete, KeepAlive, Lost, TooLong, Aborted };

    explicit FrameReader(qint32 maxLength = kMaxFrameLength) : m_decoder(maxLength) {}

    // Reads until a frame or a keep-alive is complete. Between short waits
    // for data it asks keepWaiting; false there ends the read with Aborted
    // (stop, time limit). A device that fails or is no longer connected
    // gives Lost. After Aborted or Lost the reader is not used again.
    Status readFrame(QIODevice &device, const std::function<bool()> &keepWaiting);

    // The payload of the last complete frame.
    const QByteArray &payload() const { return m_decoder.payload(); }
    // The length of the last header read (for log lines).
    qint32 length() const { return m_decoder.length(); }

private:
    FrameDecoder m_decoder;
};

} // namespace Kiv::Network
