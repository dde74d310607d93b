// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

// Splits an incoming byte stream into frames:
//
//   0        4                 4 + length
//   +--------+-----------------+
//   | length | payload         |   length: uint32, little-endian; 0 = keep-alive
//   +--------+-----------------+
//
// Lengths are bounded before anything is allocated for the payload, and the
// payload grows only as its bytes arrive.
class FrameReader {
public:
    static constexpr quint32 MaxPayload = 64u * 1024u * 1024u;

    // Consumes bytes; complete non-empty payloads are appended to `payloads`.
    // Returns the number of complete frames (keep-alives included), or -1 when a
    // length exceeds MaxPayload: the stream is then unusable.
    int feed(const char *data, qint64 size, QList<QByteArray> &payloads);

    quint32 rejectedLength() const { return m_rejected; }
    bool inFrame() const { return m_headerFill > 0; }

private:
    char m_header[4] = {};
    int m_headerFill = 0;
    quint32 m_length = 0;
    QByteArray m_payload;
    quint32 m_rejected = 0;
    bool m_broken = false;
};
