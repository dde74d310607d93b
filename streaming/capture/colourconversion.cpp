// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/colourconversion.h"

#include <libyuv/convert.h>

// libyuv names formats by their order in a little-endian word: its "ARGB" is
// B, G, R, A in memory and its "RGB24" is B, G, R.
namespace ColourConversion {

void bgrxToI420(const uchar *pSource, int pStride, int pWidth, int pHeight, uchar *pOut)
{
    uchar *y = pOut;
    uchar *u = y + qint64(pWidth) * pHeight;
    uchar *v = u + qint64(pWidth / 2) * (pHeight / 2);
    libyuv::ARGBToI420(pSource, pStride, y, pWidth, u, pWidth / 2, v, pWidth / 2, pWidth, pHeight);
}

void bgrToI420(const uchar *pSource, int pStride, int pWidth, int pHeight, uchar *pOut)
{
    uchar *y = pOut;
    uchar *u = y + qint64(pWidth) * pHeight;
    uchar *v = u + qint64(pWidth / 2) * (pHeight / 2);
    libyuv::RGB24ToI420(pSource, pStride, y, pWidth, u, pWidth / 2, v, pWidth / 2, pWidth, pHeight);
}

} // namespace ColourConversion
