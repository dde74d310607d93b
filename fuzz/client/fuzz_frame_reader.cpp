// SPDX-License-Identifier: GPL-2.0-or-later
// A session peer's byte stream through the frame decoder in uneven pieces,
// and through the message socket's own reader over a device; both must cut
// the same frames.
#include <network/framereader.h>

#include <QBuffer>
#include <QList>

#include <cstdint>
#include <cstdlib>

using namespace Kiv::Network;

namespace {
// Frames below this limit keep the runs fast; the limit check is the same.
constexpr qint32 kLimit = 1 << 16;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int piece = data[0] % 32 + 1;
    QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<int>(size - 1));

    QList<QByteArray> decoded;
    bool tooLong = false;
    FrameDecoder decoder(kLimit);
    for (int at = 0; at < bytes.size() && !tooLong;) {
        const int n = qMin(qMin(piece, decoder.wanted()), bytes.size() - at);
        if (n <= 0)
            std::abort();
        switch (decoder.push(bytes.constData() + at, n)) {
        case FrameDecoder::Event::Frame:
            if (decoder.length() > kLimit || decoder.payload().size() != qMax(0, decoder.length()))
                std::abort();
            decoded << decoder.payload();
            break;
        case FrameDecoder::Event::TooLong:
            if (decoder.length() <= kLimit || decoder.wanted() != 0)
                std::abort();
            tooLong = true;
            break;
        case FrameDecoder::Event::KeepAlive:
            if (decoder.length() != 0)
                std::abort();
            break;
        case FrameDecoder::Event::None:
            break;
        }
        at += n;
    }

    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    FrameReader reader(kLimit);
    int frames = 0;
    for (;;) {
        const FrameReader::Status status = reader.readFrame(device, [] { return false; });
        if (status == FrameReader::Status::KeepAlive)
            continue;
        if (status != FrameReader::Status::Complete) {
            if ((status == FrameReader::Status::TooLong) != tooLong)
                std::abort();
            break;
        }
        if (frames >= decoded.size() || reader.payload() != decoded.at(frames))
            std::abort();
        ++frames;
    }
    if (frames != decoded.size())
        std::abort();
    return 0;
}
