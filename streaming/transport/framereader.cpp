// SPDX-License-Identifier: GPL-2.0-or-later
#include "transport/framereader.h"

#include <QtEndian>
#include <algorithm>

int FrameReader::feed(const char *data, qint64 size, QList<QByteArray> &payloads)
{
    if (m_broken)
        return -1;
    int frames = 0;
    qint64 pos = 0;
    while (pos < size) {
        if (m_headerFill < 4) {
            const qint64 take = std::min<qint64>(4 - m_headerFill, size - pos);
            std::copy(data + pos, data + pos + take, m_header + m_headerFill);
            m_headerFill += int(take);
            pos += take;
            if (m_headerFill < 4)
                break;
            m_length = qFromLittleEndian<quint32>(m_header);
            if (m_length > MaxPayload) {
                m_rejected = m_length;
                m_broken = true;
                return -1;
            }
            m_payload.clear();
        }
        const qint64 missing = qint64(m_length) - m_payload.size();
        const qint64 take = std::min(missing, size - pos);
        if (take > 0) {
            m_payload.append(data + pos, int(take));
            pos += take;
        }
        if (m_payload.size() == qint64(m_length)) {
            if (m_length > 0)
                payloads.append(m_payload);
            m_payload = QByteArray();
            m_headerFill = 0;
            ++frames;
        }
    }
    return frames;
}
