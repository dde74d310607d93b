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
    // The flag is cleared here, once the thread has ended, and never at the
    // start of run(): a stop asked for right after start(), before run()
    // began, must still end the thread.
    mStopRequested.store(true, std::memory_order_release);
    wait();
    mStopRequested.store(false, std::memory_order_release);
    mImageAvailable.store(false, std::memory_order_release);
}

namespace {
// isDetached() with acquire ordering: the consumer's last reads of a buffer
// happen before its reference is dropped, so reuse is safe once we see 1.
bool exclusivelyOwned(QByteArray &pBuffer)
{
    return pBuffer.data_ptr()->ref.atomic.loadAcquire() == 1;
}
} // namespace

char *ImageGrabber::mailboxBuffer(int pSize)
{
    // Two buffers alternate: the one the consumer still holds waits as the
    // spare. A shared buffer is never detached, which would copy pixels about
    // to be overwritten.
    QByteArray &buffer = mMailbox.data;
    if (buffer.size() == pSize && exclusivelyOwned(buffer))
        return buffer.data();
    std::swap(buffer, mSpareBuffer);
    if (buffer.size() != pSize || !exclusivelyOwned(buffer))
        buffer = QByteArray(pSize, Qt::Uninitialized);
    return buffer.data();
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
