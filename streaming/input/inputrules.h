// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Pure rules of remote input, shared by MouseKeyboard and the Windows
// cross-build tests. Standard library only.

#include "platform/inputbackend.h"

#include <cstdint>

namespace glimra::input {

// KEYB_EVENT flags: vk 0 is a UTF-16 unit in the scan field, vk equal to
// the scan code an extended virtual key, anything else a scan code; action 1
// releases, every other action presses.
inline uint32_t keyboardFlags(uint16_t pVk, uint16_t pScan, uint8_t pAction)
{
    uint32_t flags = pVk == 0 ? platform::KeyUnicode : pVk == pScan ? platform::KeyExtendedKey : platform::KeyScanCode;
    if (pAction == 1)
        flags |= platform::KeyKeyUp;
    return flags;
}

// A desktop pixel coordinate to SendInput's 0..65535 over the primary
// monitor's physical extent; the factor is rounded to float first.
inline float normalizeAbsolute(float pPixel, double pPrimaryPhysicalExtent)
{
    return pPixel * float(65535.0 / pPrimaryPhysicalExtent);
}

} // namespace glimra::input
