// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/framerecord.h"

class ImageGrabber;

// A compressor thread between the grabber's mailbox and a one-packet mailbox
// of its own. One consumer thread (the client manager) reads that mailbox:
// isFrameAvailable(), getLastFrameNumber(), takeFrame().
class ImageCompressor {
public:
    virtual ~ImageCompressor() = default;

    virtual void startCompressing() = 0;
    virtual void setImageGrabber(ImageGrabber *pGrabber) = 0; // not owned
    virtual bool isFrameAvailable() = 0;
    virtual FrameRecord takeFrame() = 0; // copy of the mailbox, then the flag is cleared
    virtual int getLastFrameNumber() = 0;
    virtual void stopCompressing() = 0; // waits for the thread
    virtual int getCodec() = 0;         // for the "CODEC" descriptor; 1 = H.264
};
