// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/framerecord.h"

// Where a grabber delivers its images. The grabber thread calls all three;
// push() must return at once (the receiving stage keeps the newest image).
class ImageSink {
public:
    virtual ~ImageSink() = default;
    virtual void open() = 0;                          // a grab run begins
    virtual void push(const FrameRecord &pImage) = 0; // one image, answering a request
    virtual void close() = 0;                         // the grab run has ended
};
