// SPDX-License-Identifier: GPL-2.0-or-later
#include "updatestream.h"

#include <QtEndian>

namespace Velmorant {

bool UpdateCheckAnswerReader::push(const char *data, int size)
{
    Q_ASSERT(size >= 0 && size <= wanted());
    if (m_done || size <= 0)
        return m_done;
    if (m_inAnswer) {
        m_answer = quint8(data[0]);
        m_done = true;
        return true;
    }
    // Any length but 0 announces the answer; only its first byte counts.
    if (m_header.push(data, size))
        m_inAnswer = m_header.length() != 0;
    return false;
}

int DownloadStreamReader::wanted() const
{
    switch (m_phase) {
    case Phase::SizeHeader:
        return m_sizeHeader.wanted();
    case Phase::ChunkHeader:
        return m_chunkHeader.wanted();
    case Phase::ChunkPayload:
        return m_chunkLeft;
    case Phase::Done:
    case Phase::Failed:
        break;
    }
    return 0;
}

DownloadStreamReader::Step DownloadStreamReader::fail(const char *why)
{
    m_phase = Phase::Failed;
    Step step;
    step.failure = why;
    return step;
}

DownloadStreamReader::Step DownloadStreamReader::push(const char *data, int size)
{
    Q_ASSERT(size >= 0 && size <= wanted());
    Step step;
    if (size <= 0)
        return step;
    switch (m_phase) {
    case Phase::SizeHeader: {
        const Kiv::Network::FrameDecoder::Event event = m_sizeHeader.push(data, size);
        if (event == Kiv::Network::FrameDecoder::Event::TooLong)
            return fail("size header frame too long");
        if (event != Kiv::Network::FrameDecoder::Event::Frame)
            return step;
        if (m_sizeHeader.payload().size() < 4)
            return fail("size header shorter than 4 bytes");
        m_total = qFromLittleEndian<quint32>(m_sizeHeader.payload().constData());
        m_phase = m_total == 0 ? Phase::Done : Phase::ChunkHeader;
        step.done = m_total == 0;
        return step;
    }
    case Phase::ChunkHeader: {
        if (!m_chunkHeader.push(data, size))
            return step;
        const qint32 length = m_chunkHeader.length();
        if (length < 0 || length > kMaxChunk)
            return fail("bad chunk length");
        if (m_received + quint64(length) > m_total)
            return fail("more data than announced");
        if (length == 0) {
            step.chunkEnded = true; // an empty chunk is still acknowledged
            return step;
        }
        m_chunkLeft = length;
        m_phase = Phase::ChunkPayload;
        return step;
    }
    case Phase::ChunkPayload:
        step.installerBytes = true;
        m_chunkLeft -= size;
        m_received += quint64(size);
        if (m_chunkLeft > 0)
            return step;
        step.chunkEnded = true;
        step.done = m_received == m_total;
        m_phase = step.done ? Phase::Done : Phase::ChunkHeader;
        return step;
    case Phase::Done:
    case Phase::Failed:
        break;
    }
    return step;
}

} // namespace Velmorant
