// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QtGlobal>

// Capture pixels to the YUV 4:2:0 planes of a FrameRecord, in one pass.
// pOut holds FrameRecord::planesSize(pWidth, pHeight) bytes; sizes are even.
namespace ColourConversion {

// 32-bit pixels, bytes B, G, R, X (X11 and Qt's RGB32 in memory).
void bgrxToI420(const uchar *pSource, int pStride, int pWidth, int pHeight, uchar *pOut);
// 24-bit pixels, bytes B, G, R (GDI's 24-bit DIB).
void bgrToI420(const uchar *pSource, int pStride, int pWidth, int pHeight, uchar *pOut);

} // namespace ColourConversion
