// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/framerecord.h"

// Holds the newest image between the grabber and the encoder: a new image
// replaces one not yet taken, which is counted as skipped. Whether anything
// changed since the last image taken survives the replacement. Not locked:
// the owner guards it.
class LatestImageSlot {
public:
    void put(const FrameRecord &pImage)
    {
        const bool changed = pImage.changed || (mFull && mImage.changed);
        if (mFull)
            ++mSkipped;
        mImage = pImage;
        mImage.changed = changed;
        mFull = true;
    }
    bool isFull() const { return mFull; }
    quint64 request() const { return mImage.request; }
    FrameRecord take()
    {
        mFull = false;
        FrameRecord image = mImage;
        mImage = FrameRecord();
        return image;
    }
    void clear()
    {
        mFull = false;
        mImage = FrameRecord();
    }
    quint64 skipped() const { return mSkipped; }

private:
    FrameRecord mImage;
    bool mFull = false;
    quint64 mSkipped = 0;
};
