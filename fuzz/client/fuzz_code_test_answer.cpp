// SPDX-License-Identifier: GPL-2.0-or-later
// The bytes a server sends back to a code test, through the reader the
// code test itself feeds: pieces of at most wanted() bytes, keep-alives
// skipped, answers over the limit refused from their header.
#include <network/codetest.h>

#include <cstdint>
#include <cstdlib>

using namespace Kiv::Network;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte sets how much the socket delivers at a time.
    const int piece = data[0] % 64 + 1;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const int total = static_cast<int>(size - 1);

    parseCodeTestAnswer(QByteArray(bytes, total));

    CodeTestAnswerReader reader;
    int at = 0;
    CodeTestAnswerReader::Status status = CodeTestAnswerReader::Status::Reading;
    while (at < total && status == CodeTestAnswerReader::Status::Reading) {
        const int n = qMin(qMin(piece, reader.wanted()), total - at);
        if (n <= 0)
            std::abort(); // a reader that still reads must want bytes
        status = reader.push(bytes + at, n);
        at += n;
    }
    if (status == CodeTestAnswerReader::Status::Refused &&
        (reader.wanted() != 0 || reader.refusedSize() <= kMaxCodeTestAnswerSize))
        std::abort();
    if (status == CodeTestAnswerReader::Status::Answered && reader.answer().valid && reader.answer().name.size() > at)
        std::abort();
    return 0;
}
