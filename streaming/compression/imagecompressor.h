// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class ImageGrabber;
class PacketSink;

// A compressor thread between the grabber and a packet sink. It asks the
// grabber for images only while the sink's side wants frames
// (setFrameWanted), and encodes them to packets.
//
// Threads: the wiring and lifecycle from the GUI thread; setFrameWanted and
// requestKeyFrame from any thread, without blocking.
class ImageCompressor {
public:
    virtual ~ImageCompressor() = default;

    virtual void setImageGrabber(ImageGrabber *pGrabber) = 0; // not owned
    virtual void setPacketSink(PacketSink *pSink) = 0;        // not owned
    virtual int getCodec() = 0;                               // for the "CODEC" descriptor; 1 = H.264

    // Whether at least one receiver can take a frame now.
    virtual void setFrameWanted(bool pWanted) = 0;
    // The next packet is to be a key frame (a receiver joined or skipped frames).
    virtual void requestKeyFrame() = 0;

    // Lifecycle: start(), requestStop(), waitForStop(); stop() is both.
    virtual void start() = 0;
    virtual void requestStop() = 0;
    virtual void waitForStop() = 0;
    virtual void stop() = 0;
};
