// SPDX-License-Identifier: GPL-2.0-or-later
// The bytes a server sends back to a code test, through the reader the
// code test itself feeds: pieces of at most wanted() bytes, keep-alives
// skipped, answers over the limit refused from their header.
#include "../pacedinput.h"

#include <network/codetest.h>

#include <cstdint>
#include <cstdlib>

using namespace Kiv::Network;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PacedInput input;
    if (!input.read(data, size))
        return 0;
    const auto [piece, bytes, total] = input;

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
