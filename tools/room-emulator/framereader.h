// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>

// Incremental frame parser for one connection. Bytes are appended as they
// arrive; complete frames are taken out one by one. The announced length is
// checked before anything is buffered for it, so a hostile length costs nothing.
class FrameReader {
public:
    enum class Result { Frame, KeepAlive, NeedMore, TooLong };

    explicit FrameReader(quint32 maxPayload);

    void append(const QByteArray &bytes);
    // On Frame, *payload holds the next payload. On TooLong the reader is
    // spent: the stream can no longer be resynchronised.
    Result next(QByteArray *payload);

    // Length word of the frame being read (valid after TooLong).
    quint32 announcedLength() const { return m_announced; }
    // Bytes buffered but not yet handed out.
    qsizetype pending() const { return m_buffer.size() - m_offset; }

private:
    void compact();

    QByteArray m_buffer;
    qsizetype m_offset = 0;
    quint32 m_max;
    quint32 m_announced = 0;
    bool m_failed = false;
};
