// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// A compressor whose mailbox the test fills by hand.

#include "compression/imagecompressor.h"

#include <atomic>

class FakeCompressor : public ImageCompressor {
public:
    void publish(int pFrameNumber, const QByteArray &pPacket)
    {
        mMailbox.frameNumber = pFrameNumber;
        mMailbox.data = QByteArray(pPacket); // move-assigned: the old buffer is released inline
        mLast.store(pFrameNumber);
        mAvailable.store(true, std::memory_order_release);
    }

    void startCompressing() override {}
    void setImageGrabber(ImageGrabber *) override {}
    bool isFrameAvailable() override { return mAvailable.load(std::memory_order_acquire); }
    FrameRecord takeFrame() override
    {
        FrameRecord copy = mMailbox;
        mAvailable.store(false, std::memory_order_release);
        return copy;
    }
    int getLastFrameNumber() override { return mLast.load(); }
    void stopCompressing() override {}
    int getCodec() override { return 1; }

private:
    FrameRecord mMailbox;
    std::atomic<bool> mAvailable{false};
    std::atomic<int> mLast{-1};
};
