// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabber.h"

#include "capture/imagesink.h"

#include <cstring>

namespace {
// A failed grab (no monitor, capture error) is retried after this.
constexpr std::chrono::milliseconds RetryAfter(20);
} // namespace

ImageGrabber::ImageGrabber(QObject *pParent) : QThread(pParent) {}

ImageGrabber::~ImageGrabber() = default;

quint64 ImageGrabber::requestImage(Clock::time_point pStartAt, bool pSoonerOnChange)
{
    quint64 number;
    bool waiting;
    {
        std::lock_guard<std::mutex> lock(mRequestMutex);
        if (!mRequested || pStartAt < mStartAt)
            mStartAt = pStartAt;
        mSoonerOnChange = pSoonerOnChange;
        mRequested = true;
        number = ++mRequestNumber;
        waiting = mWaitingForChange;
    }
    mRequestWake.notify_one();
    if (waiting)
        wakeChangeWait();
    return number;
}

void ImageGrabber::requestStop()
{
    bool waiting;
    {
        std::lock_guard<std::mutex> lock(mRequestMutex);
        mStopRequested.store(true, std::memory_order_release);
        waiting = mWaitingForChange;
    }
    mRequestWake.notify_one();
    if (waiting)
        wakeChangeWait();
}

void ImageGrabber::waitForStop()
{
    // The flag is cleared here, once the thread has ended, and never at the
    // start of run(): a stop asked for right after start() must still end it.
    wait();
    std::lock_guard<std::mutex> lock(mRequestMutex);
    mStopRequested.store(false, std::memory_order_release);
    mRequested = false;
}

void ImageGrabber::stop()
{
    requestStop();
    waitForStop();
}

namespace {
// isDetached() with acquire ordering: the consumer's last reads of a buffer
// happen before its reference is dropped, so reuse is safe once we see 1.
bool exclusivelyOwned(QByteArray &pBuffer)
{
    return pBuffer.data_ptr()->ref.atomic.loadAcquire() == 1;
}
} // namespace

uchar *ImageGrabber::planesBuffer(FrameRecord &pImage, int pWidth, int pHeight)
{
    // Buffers circulate: the one the consumer has let go of is reused. A
    // shared buffer is never detached, which would copy pixels about to be
    // overwritten.
    const qint64 size = FrameRecord::planesSize(pWidth, pHeight);
    if (mSpareBuffer.size() == size && exclusivelyOwned(mSpareBuffer))
        std::swap(pImage.data, mSpareBuffer);
    else
        pImage.data = QByteArray(int(size), Qt::Uninitialized);
    mSpareBuffer.clear();
    return reinterpret_cast<uchar *>(pImage.data.data());
}

void ImageGrabber::run()
{
    beginRun();
    if (mSink)
        mSink->open();
    mPrevious = FrameRecord();
    for (;;) {
        quint64 request;
        {
            std::unique_lock<std::mutex> lock(mRequestMutex);
            for (;;) {
                if (isStopRequested())
                    break;
                if (!mRequested) {
                    mRequestWake.wait(lock);
                } else if (Clock::now() >= mStartAt) {
                    break;
                } else if (mSoonerOnChange && wakesOnChange()) {
                    // A request or a stop arriving meanwhile wakes the wait.
                    const Clock::time_point until = mStartAt;
                    mWaitingForChange = true;
                    lock.unlock();
                    const bool changed = waitForChange(until);
                    lock.lock();
                    mWaitingForChange = false;
                    if (changed && mRequested && mSoonerOnChange)
                        break;
                } else {
                    mRequestWake.wait_until(lock, mStartAt);
                }
            }
            if (isStopRequested())
                break;
            mRequested = false;
            request = mRequestNumber;
        }
        const Clock::time_point started = Clock::now();
        FrameRecord image;
        const Grab result = grab(image);
        if (result == Grab::Nothing || (result == Grab::Unchanged && !hasPreviousImage())) {
            // Nothing to grab now: the request stands, retried a little later.
            std::lock_guard<std::mutex> lock(mRequestMutex);
            if (!mRequested || mStartAt < started + RetryAfter)
                mStartAt = started + RetryAfter;
            mRequested = true;
            continue;
        }
        const qint64 took = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started).count();
        const qint64 mean = mGrabMicros.load(std::memory_order_relaxed);
        mGrabMicros.store(mean == 0 ? took : (mean * 7 + took) / 8, std::memory_order_relaxed);

        if (result == Grab::Unchanged) {
            image = mPrevious;
            image.changed = false;
        } else {
            image.changed =
                mPrevious.data.size() != image.data.size() || mPrevious.width != image.width ||
                std::memcmp(mPrevious.data.constData(), image.data.constData(), size_t(image.data.size())) != 0;
            // The previous image's buffer becomes the spare once the consumer lets go of it.
            mSpareBuffer = mPrevious.data;
        }
        image.frameNumber = mFrameCounter++;
        image.bytesPerLine = image.width;
        image.captureTime = QDateTime::currentDateTime();
        image.request = request;
        mPrevious = image;
        if (mSink)
            mSink->push(image);
    }
    mPrevious = FrameRecord();
    mSpareBuffer.clear();
    if (mSink)
        mSink->close();
    endRun();
    // The last act under the mutex that waitForStop() takes: everything this
    // run did happens before whatever follows the wait.
    std::lock_guard<std::mutex> lock(mRequestMutex);
}
