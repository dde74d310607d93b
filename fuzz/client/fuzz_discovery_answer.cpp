// SPDX-License-Identifier: GPL-2.0-or-later
// A datagram as the finder receives it: cut at 1000 bytes, then decoded.
#include <network/discoverymessage.h>

#include <cstdint>
#include <cstdlib>

using namespace Kiv::Network;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int n = static_cast<int>(size < size_t(kDiscoveryDatagramLimit) ? size : size_t(kDiscoveryDatagramLimit));
    const QByteArray datagram(reinterpret_cast<const char *>(data), n);
    DiscoveryAnswer answer;
    const bool accepted = parseDiscoveryAnswer(datagram, &answer);
    if (accepted != (n >= kDiscoveryAnswerSize))
        std::abort();
    if (accepted && (answer.id.size() > 16 || answer.code.size() > 5 || answer.name.size() > 255))
        std::abort();
    return 0;
}
