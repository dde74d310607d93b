// SPDX-License-Identifier: GPL-2.0-or-later
// A download's byte stream through the reader the download feeds: the size
// header, chunks and their acknowledgements, the end at the announced size.
#include "../pacedinput.h"

#include <updatestream.h>

#include <cstdint>
#include <cstdlib>

using namespace Velmorant;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    PacedInput input;
    if (!input.read(data, size))
        return 0;
    const auto [piece, bytes, total] = input;

    DownloadStreamReader reader;
    quint64 installer = 0;
    bool done = false;
    bool failed = false;
    for (int at = 0; at < total && !done && !failed;) {
        const int n = qMin(qMin(piece, reader.wanted()), total - at);
        if (n <= 0)
            std::abort();
        const DownloadStreamReader::Step step = reader.push(bytes + at, n);
        if (step.installerBytes)
            installer += quint64(n);
        done = step.done;
        failed = step.failure != nullptr;
        if ((step.installerBytes || step.chunkEnded) && !reader.hasTotal())
            std::abort();
        at += n;
    }
    if (installer != reader.received() || (reader.hasTotal() && reader.received() > reader.total()))
        std::abort();
    if (done && (reader.received() != reader.total() || reader.wanted() != 0))
        std::abort();
    if (failed && reader.wanted() != 0)
        std::abort();
    return 0;
}
