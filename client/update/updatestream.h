// SPDX-License-Identifier: GPL-2.0-or-later
// The server's side of the update exchanges, read byte by byte with no
// device of their own: the update checker feeds them what its socket
// delivers, the fuzz targets feed them anything. Neither asks for more than
// the current frame part still needs (wanted()), so nothing past the answer
// is ever consumed.
//
// Check answer: frames of length 0 (keep-alives) are skipped; of the first
// other frame only the first payload byte, the answer code, is read.
//
//   [00 00 00 00]*  [len != 0, 4 bytes LE]  [answer byte]  (rest unread)
//
// Download: a size header, then chunks until the announced size is reached;
// the client acknowledges each chunk frame with 4 zero bytes.
//
//   [00 00 00 00]*  [len >= 4] [total, 4 bytes LE] [ignored]
//   ( [len >= 0] [len installer bytes] )*   ... sum of len == total
#pragma once

#include <network/framereader.h>

#include <QtGlobal>

namespace Velmorant {

class UpdateCheckAnswerReader {
public:
    int wanted() const { return m_done ? 0 : m_inAnswer ? 1 : m_header.wanted(); }
    // Takes size bytes, at most wanted(); true once the answer byte is in.
    bool push(const char *data, int size);
    bool answered() const { return m_done; }
    quint8 answer() const { return m_answer; }

private:
    Kiv::Network::FrameHeader m_header;
    bool m_inAnswer = false;
    bool m_done = false;
    quint8 m_answer = 0;
};

class DownloadStreamReader {
public:
    // The size header frame carries 4 bytes and, rarely, a few ignored ones.
    static constexpr qint32 kMaxHeaderFrame = 64 * 1024;
    // Chunks go to disk as they arrive; this only bounds what one frame may
    // announce.
    static constexpr qint32 kMaxChunk = Kiv::Network::kMaxFrameLength;

    struct Step {
        bool installerBytes = false;   // the bytes pushed are the installer's next bytes
        bool chunkEnded = false;       // a chunk frame is complete: acknowledge it
        bool done = false;             // the whole installer has arrived
        const char *failure = nullptr; // why the stream is refused; nothing more is read
    };

    int wanted() const;
    // Takes size bytes, at most wanted().
    Step push(const char *data, int size);

    bool hasTotal() const { return m_phase != Phase::SizeHeader; }
    quint32 total() const { return m_total; }
    quint64 received() const { return m_received; }

private:
    enum class Phase { SizeHeader, ChunkHeader, ChunkPayload, Done, Failed };
    Step fail(const char *why);

    Phase m_phase = Phase::SizeHeader;
    Kiv::Network::FrameDecoder m_sizeHeader{kMaxHeaderFrame};
    Kiv::Network::FrameHeader m_chunkHeader;
    qint32 m_chunkLeft = 0;
    quint32 m_total = 0;
    quint64 m_received = 0;
};

} // namespace Velmorant
