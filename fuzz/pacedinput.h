// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Fuzz input for readers fed by a socket: the first byte sets how much the
// socket delivers at a time (1 to 64 bytes), the rest is the byte stream.

#include <cstddef>
#include <cstdint>

struct PacedInput {
    int piece = 0;
    const char *bytes = nullptr;
    int total = 0;

    // False for an empty input.
    bool read(const uint8_t *pData, size_t pSize)
    {
        if (pSize == 0)
            return false;
        piece = pData[0] % 64 + 1;
        bytes = reinterpret_cast<const char *>(pData + 1);
        total = static_cast<int>(pSize - 1);
        return true;
    }
};
