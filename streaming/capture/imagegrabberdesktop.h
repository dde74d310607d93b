// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/imagegrabber.h"

#include <QElapsedTimer>
#include <QMutex>

#include <memory>
#include <mutex>
#include <vector>

namespace glimra::platform {
class ScreenCapture;
struct MonitorInfo;
} // namespace glimra::platform

// Grabs a monitor through the operating system's capture seam: the monitor is
// opened when a run starts, its geometry re-read every 2000 ms; a resolution
// change freezes the stream on a dark-red placeholder at the first size.
// The factory (imagegrabberfactory.h) gives it the operating system's seam.
class ImageGrabberDesktop : public ImageGrabber {
    Q_OBJECT
public:
    using CaptureFactory = std::unique_ptr<glimra::platform::ScreenCapture> (*)();

    explicit ImageGrabberDesktop(CaptureFactory pFactory, QObject *pParent = nullptr);
    ~ImageGrabberDesktop() override;

    void setScreenIndex(int pIndex) override;
    QString getScreenName() override;
    int getScreenWidth() override;
    int getScreenHeight() override;
    bool isScreenCountChanged() override;
    void stop() override;

protected:
    void beginRun() override;
    Grab grab(FrameRecord &pImage) override;
    void endRun() override;
    bool waitForChange(Clock::time_point pUntil) override;
    void wakeChangeWait() override;

private:
    bool selectedMonitor(glimra::platform::MonitorInfo &pInfo); // GUI thread
    void checkGeometry();                                       // grab thread

    CaptureFactory mFactory;
    std::atomic<int> mScreenIndex{0};
    std::atomic<int> mMonitorCount{-1};                      // -1 while not grabbing
    QMutex mQueryMutex;                                      // guards mQuery
    std::unique_ptr<glimra::platform::ScreenCapture> mQuery; // for the GUI thread's questions

    // Set and reset by the grab thread, under mCaptureMutex so that
    // wakeChangeWait() may reach it from other threads (std::mutex:
    // ThreadSanitizer sees its ordering).
    std::mutex mCaptureMutex;
    std::unique_ptr<glimra::platform::ScreenCapture> mCapture;

    // Grab thread only, for one run.
    float mScaleX = 1.0f;
    float mScaleY = 1.0f;
    int mWidth = 0;
    int mHeight = 0;
    bool mReady = false;
    bool mShowingCapture = false; // the last image is a capture, not the placeholder
    bool mChecked = false;
    QElapsedTimer mSinceCheck;
    QByteArray mPlaceholder; // the dark-red planes shown after a resolution change
    QByteArray mBgr;         // for captures that only give 24-bit pixels
    bool mCaptureFailureLogged = false;
};
