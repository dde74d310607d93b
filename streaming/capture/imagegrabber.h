// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/framerecord.h"
#include "platform/screencapture.h"

#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>

// A thread that grabs the selected monitor into a one-image mailbox.
//
// Threads: run() is the single producer; one consumer thread (the
// compressor) calls isImageAvailable()/takeImage(); setScreenIndex, the
// getters, isScreenCountChanged and stopGrabbing are called from the GUI
// thread.
//
// Mailbox discipline: the producer writes mMailbox only while
// mImageAvailable is false and sets the flag last (release); the consumer
// reads only while the flag is true and clears it last (acquire/release).
// The consumer's copy shares the pixel buffer, so the producer must write the
// next image into a detached buffer (see mailboxBuffer()).
//
// Concrete grabbers call stopGrabbing() in their own destructors, because
// run() belongs to them.
class ImageGrabber : public QThread {
    Q_OBJECT
public:
    explicit ImageGrabber(QObject *pParent = nullptr);
    ~ImageGrabber() override;

    ImageGrabber(const ImageGrabber &) = delete;
    ImageGrabber &operator=(const ImageGrabber &) = delete;

    virtual void setScreenIndex(int pIndex) = 0;
    virtual QString getScreenName() = 0;
    virtual int getScreenWidth() = 0;  // physical pixels, rounded down to a multiple of 4
    virtual int getScreenHeight() = 0; // same
    virtual bool isImageAvailable();
    virtual FrameRecord takeImage(); // copy of the mailbox, then the flag is cleared
    virtual bool isScreenCountChanged() = 0;
    virtual void stopGrabbing(); // request stop, wait without limit, empty the mailbox

    // v - (v mod 4): 1366 -> 1364.
    static int roundDown4(int pValue) { return glimra::platform::roundDownToMultipleOf4(pValue); }

protected:
    bool isStopRequested() const { return mStopRequested.load(std::memory_order_acquire); }
    // Producer side: a pixel buffer of pSize bytes that no consumer shares.
    char *mailboxBuffer(int pSize);
    // Producer side: fill the record fields and publish (sets the flag last).
    void publishImage(int pWidth, int pHeight, float pScaleX, float pScaleY);

    std::atomic<bool> mImageAvailable{false};
    FrameRecord mMailbox;
    qint32 mFrameCounter = 0; // never reset
    std::atomic<bool> mStopRequested{false};
    QByteArray mSpareBuffer; // producer only
    QMutex mMutex;           // held by the Qt grabber while it fills the mailbox
};
