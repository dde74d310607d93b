// SPDX-License-Identifier: GPL-2.0-or-later
// A session payload from the room, as the session window reads it, and the
// room settings taken from it.
#include <session/sessionmessage.h>

#include <cstdint>
#include <cstdlib>

using namespace Velmorant::Advanced;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray payload(reinterpret_cast<const char *>(data), int(size));
    const ReceivedSessionMessage message = readSessionMessage(payload);
    if (message.type == SessionMessageType::None && message.ignoredReason.isEmpty())
        std::abort();
    if (message.type == SessionMessageType::SessionSettings && message.bodyValid)
        roomSettingsFrom(message.settings);
    if (message.type == SessionMessageType::CaptureImage && message.image.size() != payload.size() - 4)
        std::abort();
    return 0;
}
