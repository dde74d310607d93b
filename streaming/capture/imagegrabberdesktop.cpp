// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberdesktop.h"
#include "capture/capturelog.h"

#include "capture/colourconversion.h"
#include "platform/screencapture.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <cstring>

namespace {
constexpr qint64 GeometryCheckMs = 2000;
} // namespace

using glimra::platform::MonitorInfo;
using glimra::platform::ScreenCapture;

ImageGrabberDesktop::ImageGrabberDesktop(CaptureFactory pFactory, QObject *pParent)
    : ImageGrabber(pParent), mFactory(pFactory)
{
}

ImageGrabberDesktop::~ImageGrabberDesktop()
{
    stop();
}

void ImageGrabberDesktop::setScreenIndex(int pIndex)
{
    mScreenIndex = pIndex;
}

bool ImageGrabberDesktop::selectedMonitor(MonitorInfo &pInfo)
{
    QMutexLocker lock(&mQueryMutex);
    if (!mQuery)
        mQuery = mFactory();
    const std::vector<MonitorInfo> monitors = mQuery->enumerateMonitors();
    const int index = mScreenIndex;
    if (index < 0 || index >= static_cast<int>(monitors.size()))
        return false;
    pInfo = monitors[static_cast<size_t>(index)];
    return true;
}

QString ImageGrabberDesktop::getScreenName()
{
    MonitorInfo info;
    return selectedMonitor(info) ? QString::fromStdWString(info.name) : QString();
}

int ImageGrabberDesktop::getScreenWidth()
{
    MonitorInfo info;
    return selectedMonitor(info) ? roundDown4(info.physicalWidth) : 0;
}

int ImageGrabberDesktop::getScreenHeight()
{
    MonitorInfo info;
    return selectedMonitor(info) ? roundDown4(info.physicalHeight) : 0;
}

bool ImageGrabberDesktop::isScreenCountChanged()
{
    if (mMonitorCount.load() == -1)
        return false;
    int count;
    {
        QMutexLocker lock(&mQueryMutex);
        if (!mQuery)
            mQuery = mFactory();
        count = mQuery->monitorCount();
    }
    // Only the GUI thread swaps the count once grabbing runs; a stop in between
    // (count -1) must not read as a change.
    int expected = mMonitorCount.load();
    if (expected == -1)
        return false;
    if (count == expected)
        return false;
    return mMonitorCount.compare_exchange_strong(expected, count);
}

void ImageGrabberDesktop::stop()
{
    ImageGrabber::stop();
    mMonitorCount = -1;
}

void ImageGrabberDesktop::beginRun()
{
    mScaleX = mScaleY = 1.0f;
    mWidth = mHeight = 0;
    mReady = false;
    mShowingCapture = false;
    mChecked = false;
    mPlaceholder.clear();
    mCaptureFailureLogged = false;

    {
        std::unique_ptr<ScreenCapture> capture = mFactory();
        std::lock_guard<std::mutex> lock(mCaptureMutex);
        mCapture = std::move(capture);
    }
    const std::vector<MonitorInfo> monitors = mCapture->enumerateMonitors();
    const int index = mScreenIndex;
    if (index >= 0 && index < static_cast<int>(monitors.size())) {
        if (!mCapture->open(monitors[static_cast<size_t>(index)].name))
            qCWarning(lcCapture) << "cannot open monitor" << QString::fromStdWString(monitors[index].name);
    } else {
        qCWarning(lcCapture) << "no monitor with index" << index << "of" << monitors.size() << ": nothing to grab";
    }
    mMonitorCount = static_cast<int>(monitors.size());
    setWakesOnChange(mCapture->canWaitForChange());
}

void ImageGrabberDesktop::checkGeometry()
{
    // Until a first size is known (a capture that waits for the user's
    // consent) every grab asks again.
    if (mChecked && mWidth > 0 && mSinceCheck.elapsed() <= GeometryCheckMs)
        return;
    mChecked = true;
    mSinceCheck.start();
    MonitorInfo info;
    if (!mCapture->readGeometry(info)) {
        if (!mPlaceholder.isEmpty())
            mReady = false;
        return;
    }
    const int physW = roundDown4(info.physicalWidth), physH = roundDown4(info.physicalHeight);
    const int logW = roundDown4(info.logicalWidth), logH = roundDown4(info.logicalHeight);
    if (physW == mWidth && physH == mHeight) {
        mReady = true;
    } else if (!mPlaceholder.isEmpty()) {
        // Resolution changed since grabbing started: keep the stream's size,
        // show the placeholder.
        mReady = false;
    } else if (physW > 0 && physH > 0 && logW > 0 && logH > 0) {
        mWidth = physW;
        mHeight = physH;
        mScaleX = float(physW) / float(logW);
        mScaleY = float(physH) / float(logH);
        QByteArray red(mWidth * mHeight * 3, Qt::Uninitialized);
        for (int i = 0; i < red.size(); i += 3) {
            red[i] = 0;      // blue
            red[i + 1] = 0;  // green
            red[i + 2] = 80; // red
        }
        mPlaceholder = QByteArray(int(FrameRecord::planesSize(mWidth, mHeight)), Qt::Uninitialized);
        ColourConversion::bgrToI420(reinterpret_cast<const uchar *>(red.constData()), mWidth * 3, mWidth, mHeight,
                                    reinterpret_cast<uchar *>(mPlaceholder.data()));
        mReady = mCapture->prepare(mWidth, mHeight);
    }
}

ImageGrabber::Grab ImageGrabberDesktop::grab(FrameRecord &pImage)
{
    checkGeometry();
    if (mWidth == 0)
        return Grab::Nothing;
    if (!mReady) {
        pImage.data = mPlaceholder;
    } else if (!mCapture->mayHaveChanged() && mShowingCapture && hasPreviousImage()) {
        return Grab::Unchanged;
    } else {
        // The capture's own 32-bit pixels when it has them: one pass to YUV.
        int stride = 0;
        const uint8_t *bgrx = mCapture->captureBgrx(stride);
        bool captured = bgrx != nullptr;
        if (captured) {
            ColourConversion::bgrxToI420(bgrx, stride, mWidth, mHeight, planesBuffer(pImage, mWidth, mHeight));
        } else if (!mCapture->hasBgrx()) {
            mBgr.resize(mWidth * mHeight * 3);
            captured = mCapture->capture(reinterpret_cast<uint8_t *>(mBgr.data()));
            if (captured)
                ColourConversion::bgrToI420(reinterpret_cast<const uchar *>(mBgr.constData()), mWidth * 3, mWidth,
                                            mHeight, planesBuffer(pImage, mWidth, mHeight));
        }
        if (!captured) {
            if (!mCaptureFailureLogged)
                qCWarning(lcCapture) << "capture failed; retrying";
            mCaptureFailureLogged = true;
            return Grab::Nothing;
        }
        mCaptureFailureLogged = false;
    }
    mShowingCapture = mReady;
    pImage.width = mWidth;
    pImage.height = mHeight;
    pImage.scaleX = mScaleX;
    pImage.scaleY = mScaleY;
    return Grab::Grabbed;
}

bool ImageGrabberDesktop::waitForChange(Clock::time_point pUntil)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(pUntil - Clock::now()).count();
    return left > 0 && mCapture->waitForChange(int(std::min<qint64>(left, 60000)));
}

void ImageGrabberDesktop::wakeChangeWait()
{
    std::lock_guard<std::mutex> lock(mCaptureMutex);
    if (mCapture)
        mCapture->wakeWait();
}

void ImageGrabberDesktop::endRun()
{
    setWakesOnChange(false);
    if (mCapture)
        mCapture->close();
    std::lock_guard<std::mutex> lock(mCaptureMutex);
    mCapture.reset();
    mPlaceholder.clear();
    mBgr.clear();
}
