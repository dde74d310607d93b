// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/framerecord.h"
#include "platform/screencapture.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

class ImageSink;

// A thread that grabs the selected monitor on request: the consumer asks for
// one image to be grabbed not before a given time (requestImage), and the
// image goes to its sink as soon as it is complete. Grabbing on demand keeps
// the image the encoder gets as young as the grab itself, and a still screen
// costs nothing while nobody asks.
//
// Every image is compared with the one grabbed before it (FrameRecord::changed).
//
// Threads: run() is the grab thread and calls the sink; requestImage from the
// consumer's thread; setScreenIndex, the getters, isScreenCountChanged and the
// lifecycle from the GUI thread. Concrete grabbers call stop() in their
// own destructors, because grab() belongs to them.
class ImageGrabber : public QThread {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit ImageGrabber(QObject *pParent = nullptr);
    ~ImageGrabber() override;

    ImageGrabber(const ImageGrabber &) = delete;
    ImageGrabber &operator=(const ImageGrabber &) = delete;

    void setSink(ImageSink *pSink) { mSink = pSink; } // before start; not owned

    virtual void setScreenIndex(int pIndex) = 0;
    virtual QString getScreenName() = 0;
    virtual int getScreenWidth() = 0;  // physical pixels, rounded down to a multiple of 4
    virtual int getScreenHeight() = 0; // same
    virtual bool isScreenCountChanged() = 0;

    // One image, grabbed not before pStartAt (an earlier request time wins
    // over a later one). Returns the request's number, which the image
    // carries in FrameRecord::request. pSoonerOnChange: a grabber that is told
    // of changes grabs at once when the picture changes before pStartAt.
    quint64 requestImage(Clock::time_point pStartAt, bool pSoonerOnChange = false);
    // Whether this grabber is told of changes, so a still picture needs no
    // look at intervals (see pSoonerOnChange).
    bool wakesOnChange() const { return mWakesOnChange.load(std::memory_order_acquire); }
    // Mean time one grab takes, conversion included (microseconds).
    qint64 grabMicros() const { return mGrabMicros.load(std::memory_order_relaxed); }

    // Lifecycle: start() (QThread), requestStop(), waitForStop(); stop() is both.
    void requestStop();
    void waitForStop();
    virtual void stop();

    // v - (v mod 4): 1366 -> 1364.
    static int roundDown4(int pValue) { return glimra::platform::roundDownToMultipleOf4(pValue); }

protected:
    void run() override;
    bool isStopRequested() const { return mStopRequested.load(std::memory_order_acquire); }

    // Grab thread: prepare a run, grab one image into pImage (size, scale and
    // the planes), end the run. Unchanged: the screen is known to be as it was
    // at the last grab, which is handed on again without a capture.
    enum class Grab { Nothing, Grabbed, Unchanged };
    virtual void beginRun() {}
    virtual Grab grab(FrameRecord &pImage) = 0;
    virtual void endRun() {}
    // Grabbers told of changes: the grab thread waits until the picture
    // changes (true) or pUntil (false); any thread may cut the wait short.
    // beginRun() says whether the run can (setWakesOnChange).
    virtual bool waitForChange(Clock::time_point pUntil)
    {
        (void)pUntil;
        return false;
    }
    virtual void wakeChangeWait() {}
    void setWakesOnChange(bool pWakes) { mWakesOnChange.store(pWakes, std::memory_order_release); }
    // Grab thread: a planes buffer of pWidth x pHeight that no consumer shares.
    uchar *planesBuffer(FrameRecord &pImage, int pWidth, int pHeight);
    // Grab thread: whether an image was grabbed in this run (Unchanged needs one).
    bool hasPreviousImage() const { return !mPrevious.data.isEmpty(); }

private:
    ImageSink *mSink = nullptr;
    qint32 mFrameCounter = 0; // never reset
    std::atomic<bool> mStopRequested{false};
    std::atomic<qint64> mGrabMicros{0};
    std::atomic<bool> mWakesOnChange{false};

    std::mutex mRequestMutex; // guards the request and wakes the grab thread
    std::condition_variable mRequestWake;
    bool mRequested = false;
    Clock::time_point mStartAt;
    bool mSoonerOnChange = false;
    bool mWaitingForChange = false; // the grab thread waits in waitForChange()
    quint64 mRequestNumber = 0;

    // Grab thread only.
    FrameRecord mPrevious;   // the last image, for the comparison
    QByteArray mSpareBuffer; // recycled once no consumer holds it
};
