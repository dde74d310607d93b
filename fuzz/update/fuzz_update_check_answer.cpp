// SPDX-License-Identifier: GPL-2.0-or-later
// An update check's answer through the reader the check feeds: keep-alives
// skipped, one answer byte read from the first other frame, nothing beyond.
#include <updatechecker.h>
#include <updatestream.h>

#include <QtEndian>

#include <cstdint>
#include <cstdlib>

using namespace Velmorant;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int piece = data[0] % 8 + 1;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const int total = static_cast<int>(size - 1);

    UpdateCheckAnswerReader reader;
    int at = 0;
    while (at < total && !reader.answered()) {
        const int n = qMin(qMin(piece, reader.wanted()), total - at);
        if (n <= 0)
            std::abort();
        reader.push(bytes + at, n);
        at += n;
    }
    if (reader.answered()) {
        // Whole keep-alives, one header, one byte: the answer is the byte
        // just after the first non-zero length.
        if (at < 5 || (at - 5) % 4 != 0 || quint8(bytes[at - 1]) != reader.answer() ||
            qFromLittleEndian<qint32>(bytes + at - 5) == 0 || reader.wanted() != 0)
            std::abort();
        const int status = UpdateChecker::statusForAnswer(reader.answer());
        if (status < -1 || status > 4 || (status == -1) != (reader.answer() > 4))
            std::abort();
    }
    return 0;
}
