// SPDX-License-Identifier: GPL-2.0-or-later
#include "framereader.h"

#include "wire.h"

FrameReader::FrameReader(quint32 maxPayload) : m_max(maxPayload) {}

void FrameReader::append(const QByteArray &bytes)
{
    if (m_failed)
        return;
    compact();
    m_buffer.append(bytes);
}

void FrameReader::compact()
{
    // Drop consumed bytes once they dominate the buffer, so a long stream of
    // small frames does not copy the tail over and over.
    if (m_offset > 0 && (m_offset >= m_buffer.size() || m_offset > 65536)) {
        m_buffer.remove(0, static_cast<int>(m_offset));
        m_offset = 0;
    }
}

FrameReader::Result FrameReader::next(QByteArray *payload)
{
    if (m_failed)
        return Result::TooLong;
    if (pending() < 4)
        return Result::NeedMore;
    m_announced = wire::u32(m_buffer.constData() + m_offset);
    if (m_announced > m_max) {
        // Also catches negative signed lengths, which read as huge here.
        m_failed = true;
        m_buffer.clear();
        m_offset = 0;
        return Result::TooLong;
    }
    if (m_announced == 0) {
        m_offset += 4;
        return Result::KeepAlive;
    }
    if (pending() < 4 + static_cast<qsizetype>(m_announced))
        return Result::NeedMore;
    *payload = m_buffer.mid(static_cast<int>(m_offset + 4), static_cast<int>(m_announced));
    m_offset += 4 + m_announced;
    return Result::Frame;
}
