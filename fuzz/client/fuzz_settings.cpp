// SPDX-License-Identifier: GPL-2.0-or-later
// The per-user config.json: the full read's parser and the start-up's
// language rule; what parses must write back and read the same.
#include <app/language.h>
#include <app/settingsstore.h>

#include <cstdint>
#include <cstdlib>

using namespace Velmorant;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const ClientSettings settings = settingsFromJson(bytes);
    isFrenchLanguage(settings.language);
    if (settingsFromJson(settingsToJson(settings)) != settings)
        std::abort();
    return 0;
}
