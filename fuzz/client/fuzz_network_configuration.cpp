// SPDX-License-Identifier: GPL-2.0-or-later
// The network configuration as an administrator may deploy it. The first
// byte picks the form: plain JSON, an encrypted file as found on disk, or
// JSON that goes through encryption and back (reaching the key table with
// decrypted text).
#include <network/networkconfiguration.h>
#include <network/networkfilecipher.h>

#include <cstdint>
#include <cstdlib>

using namespace Kiv::Network;

static void check(const NetworkConfiguration &c)
{
    for (const NetworkConfiguration::Server &s : c.addressServers) {
        if (s.host.count(QLatin1Char('.')) != 3 || s.host.contains(QLatin1Char(':')))
            std::abort();
    }
    for (const NetworkConfiguration::Server &s : c.namedServers) {
        if (s.host.contains(QLatin1Char(':')))
            std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const std::string key = networkFileKey();
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), static_cast<int>(size - 1));
    switch (data[0] % 3) {
    case 0:
        check(NetworkConfiguration::fromJson(rest));
        break;
    case 1: {
        // Whole blocks mostly: the cipher's own complaint is covered by the
        // odd sizes that remain.
        QByteArray file = rest;
        if (data[0] & 0x80)
            file.truncate(file.size() < 16 ? file.size() : 16 + (file.size() - 16) / 16 * 16);
        check(NetworkConfiguration::fromJson(decryptNetworkFile(file, key)));
        break;
    }
    default: {
        static const QByteArray iv(16, '\x5a');
        const QByteArray file = encryptNetworkFile(rest, key, iv);
        const QByteArray plain = decryptNetworkFile(file, key);
        if (plain != rest)
            std::abort();
        check(NetworkConfiguration::fromJson(plain));
        break;
    }
    }
    return 0;
}
