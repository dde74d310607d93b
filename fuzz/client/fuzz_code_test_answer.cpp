// SPDX-License-Identifier: GPL-2.0-or-later
// The bytes a server sends back to a code test: frames read as the test
// reads them (keep-alives skipped, bounded lengths), then the answer decoded.
#include <network/codetest.h>
#include <network/messageframe.h>

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

using namespace Kiv::Network;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    // The whole input as one answer payload.
    parseCodeTestAnswer(bytes);

    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    FrameReader reader;
    while (device.bytesAvailable() >= kFrameHeaderSize) {
        char header[kFrameHeaderSize];
        device.read(header, kFrameHeaderSize);
        const qint32 length = decodeFrameLength(header);
        if (length == 0)
            continue;
        const FrameReader::Status status = reader.readPayload(device, length, [] { return false; });
        if (status != FrameReader::Status::Complete)
            break;
        const CodeTestAnswer answer = parseCodeTestAnswer(reader.payload());
        if (answer.valid && answer.name.size() > reader.payload().size())
            std::abort();
        break; // one answer per test
    }
    return 0;
}
