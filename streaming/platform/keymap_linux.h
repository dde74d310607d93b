// SPDX-License-Identifier: GPL-2.0-or-later
// Windows key codes to Linux ones, shared by the XTest and portal input
// backends: scan codes (set 1) to evdev key codes, virtual keys and
// characters to X keysyms (0 when there is none).
#pragma once

#include <cstdint>

namespace glimra::platform {

int evdevFromScanCode(uint16_t pScan, bool pExtended);
unsigned long keysymFromVirtualKey(uint16_t pVk);
unsigned long keysymFromCodePoint(uint32_t pCode);

} // namespace glimra::platform
