// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// A compressor that only records what the client manager asks of it; the test
// hands packets to the manager itself, as the compressor thread would.

#include "compression/encodedpacket.h"
#include "compression/imagecompressor.h"

#include <atomic>

class FakeCompressor : public ImageCompressor {
public:
    static EncodedPacket packet(int pFrameNumber, const QByteArray &pData, bool pKey)
    {
        EncodedPacket out;
        out.frameNumber = pFrameNumber;
        out.data = pData;
        out.keyFrame = pKey;
        return out;
    }

    bool wanted() const { return mWanted.load(); }
    int keyRequests() const { return mKeyRequests.load(); }

    void setImageGrabber(ImageGrabber *) override {}
    void setPacketSink(PacketSink *) override {}
    int getCodec() override { return 1; }
    void setFrameWanted(bool pWanted) override { mWanted.store(pWanted); }
    void requestKeyFrame() override { ++mKeyRequests; }
    void start() override {}
    void requestStop() override {}
    void waitForStop() override {}
    void stop() override {}

private:
    std::atomic<bool> mWanted{false};
    std::atomic<int> mKeyRequests{0};
};
