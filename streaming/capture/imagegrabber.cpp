// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabber.h"

ImageGrabber::ImageGrabber(QObject *pParent) : QThread(pParent) {}

ImageGrabber::~ImageGrabber() = default;

bool ImageGrabber::isImageAvailable()
{
    return mImageAvailable.load(std::memory_order_acquire);
}

FrameRecord ImageGrabber::takeImage()
{
    if (!mImageAvailable.load(std::memory_order_acquire))
        return FrameRecord();
    FrameRecord copy = mMailbox;
    mImageAvailable.store(false, std::memory_order_release);
    return copy;
}

void ImageGrabber::stopGrabbing()
{
    mStopRequested.store(true, std::memory_order_release);
    wait();
    mImageAvailable.store(false, std::memory_order_release);
}

char *ImageGrabber::mailboxBuffer(int pSize)
{
    // A buffer still shared with the consumer's copy is replaced, not
    // detached: detaching would copy pixels that are about to be overwritten.
    if (mMailbox.data.size() != pSize || !mMailbox.data.isDetached())
        mMailbox.data = QByteArray(pSize, Qt::Uninitialized);
    return mMailbox.data.data();
}

void ImageGrabber::publishImage(int pWidth, int pHeight, float pScaleX, float pScaleY)
{
    mMailbox.frameNumber = mFrameCounter++;
    mMailbox.scaleX = pScaleX;
    mMailbox.scaleY = pScaleY;
    mMailbox.width = pWidth;
    mMailbox.height = pHeight;
    mMailbox.bytesPerLine = pWidth * 3;
    mMailbox.captureTime = QDateTime::currentDateTime();
    mImageAvailable.store(true, std::memory_order_release);
}
