// SPDX-License-Identifier: GPL-2.0-or-later
// A session peer's byte stream through the frame reader, one frame at a
// time as the message socket reads it.
#include <network/messageframe.h>

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

using namespace Kiv::Network;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    FrameReader reader;
    while (device.bytesAvailable() >= kFrameHeaderSize) {
        char header[kFrameHeaderSize];
        device.read(header, kFrameHeaderSize);
        const qint32 length = decodeFrameLength(header);
        if (length == 0)
            continue;
        const qint64 before = device.pos();
        const FrameReader::Status status = reader.readPayload(device, length, [] { return false; });
        if (length > kMaxFrameLength) {
            if (status != FrameReader::Status::TooLong)
                std::abort();
            break;
        }
        if (status != FrameReader::Status::Complete)
            break;
        const int expected = length < 0 ? 0 : length;
        if (reader.payload().size() != expected || reader.payload() != bytes.mid(static_cast<int>(before), expected))
            std::abort();
    }
    return 0;
}
