// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The scene's timestamp: CLOCK_MONOTONIC in units of 100 µs, 32 bits, painted
// as two rows of 32 blocks from the top-left corner of the screen: row 0 the
// bits (most significant first, white = 1), row 1 their complement. A picture
// whose rows disagree (torn or damaged) carries no timestamp.

#include <cstdint>
#include <ctime>

namespace benchstamp {

constexpr int Bits = 32;
constexpr int BlockWidth = 60; // 32 x 60 = 1920
constexpr int BlockHeight = 40;

inline int64_t monotonicMicros()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

inline uint32_t stampNow()
{
    return uint32_t(monotonicMicros() / 100);
}

// Latency in µs from a stamp to a monotonic time, allowing for the 32-bit wrap.
inline int64_t latencyMicros(uint32_t pStamp, int64_t pNowMicros)
{
    const uint32_t now = uint32_t(pNowMicros / 100);
    return int64_t(uint32_t(now - pStamp)) * 100 + pNowMicros % 100;
}

// Reads the stamp from a luma plane; false when the rows disagree.
inline bool readStamp(const uint8_t *pLuma, int pStride, uint32_t &pStamp)
{
    auto blockLuma = [&](int pCol, int pRow) {
        int sum = 0, n = 0;
        const int x0 = pCol * BlockWidth + BlockWidth / 4, y0 = pRow * BlockHeight + BlockHeight / 4;
        for (int y = y0; y < y0 + BlockHeight / 2; y += 2)
            for (int x = x0; x < x0 + BlockWidth / 2; x += 2, ++n)
                sum += pLuma[y * pStride + x];
        return sum / n;
    };
    uint32_t value = 0;
    for (int i = 0; i < Bits; ++i) {
        const bool bit = blockLuma(i, 0) >= 128;
        const bool inverse = blockLuma(i, 1) >= 128;
        if (bit == inverse)
            return false;
        value = (value << 1) | (bit ? 1u : 0u);
    }
    pStamp = value;
    return true;
}

} // namespace benchstamp
