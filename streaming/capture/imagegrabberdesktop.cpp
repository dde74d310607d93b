// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberdesktop.h"

#include "platform/screencapture.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cstring>

namespace {
Q_LOGGING_CATEGORY(lcCapture, "glimra.capture")

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
    stopGrabbing();
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

void ImageGrabberDesktop::stopGrabbing()
{
    ImageGrabber::stopGrabbing();
    mMonitorCount = -1;
}

void ImageGrabberDesktop::run()
{
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    int width = 0;
    int height = 0;
    bool ready = false;
    QByteArray placeholder;
    bool captureFailureLogged = false;

    std::unique_ptr<ScreenCapture> capture = mFactory();
    const std::vector<MonitorInfo> monitors = capture->enumerateMonitors();
    const int index = mScreenIndex;
    if (index >= 0 && index < static_cast<int>(monitors.size())) {
        if (!capture->open(monitors[static_cast<size_t>(index)].name))
            qCWarning(lcCapture) << "cannot open monitor" << QString::fromStdWString(monitors[index].name);
    } else {
        qCWarning(lcCapture) << "no monitor with index" << index << "of" << monitors.size() << ": nothing to grab";
    }
    mMonitorCount = static_cast<int>(monitors.size());

    QElapsedTimer sinceCheck;
    bool checked = false;
    while (!isStopRequested()) {
        if (!checked || sinceCheck.elapsed() > GeometryCheckMs) {
            checked = true;
            sinceCheck.start();
            MonitorInfo info;
            if (capture->readGeometry(info)) {
                const int physW = roundDown4(info.physicalWidth), physH = roundDown4(info.physicalHeight);
                const int logW = roundDown4(info.logicalWidth), logH = roundDown4(info.logicalHeight);
                if (physW == width && physH == height) {
                    ready = true;
                } else if (!placeholder.isEmpty()) {
                    // Resolution changed since grabbing started: keep the
                    // stream's size, show the placeholder.
                    ready = false;
                } else if (physW > 0 && physH > 0 && logW > 0 && logH > 0) {
                    width = physW;
                    height = physH;
                    scaleX = float(physW) / float(logW);
                    scaleY = float(physH) / float(logH);
                    placeholder = QByteArray(width * height * 3, Qt::Uninitialized);
                    for (int i = 0; i < placeholder.size(); i += 3) {
                        placeholder[i] = 0;      // blue
                        placeholder[i + 1] = 0;  // green
                        placeholder[i + 2] = 80; // red
                    }
                    ready = capture->prepare(width, height);
                }
            } else if (!placeholder.isEmpty()) {
                ready = false;
            }
        }
        if (mImageAvailable.load(std::memory_order_acquire) || width == 0) {
            msleep(1);
            continue;
        }
        char *pixels = mailboxBuffer(width * height * 3);
        if (ready) {
            if (!capture->capture(reinterpret_cast<uint8_t *>(pixels))) {
                if (!captureFailureLogged)
                    qCWarning(lcCapture) << "capture failed; retrying";
                captureFailureLogged = true;
                msleep(10);
                continue;
            }
            captureFailureLogged = false;
        } else {
            std::memcpy(pixels, placeholder.constData(), size_t(placeholder.size()));
        }
        publishImage(width, height, scaleX, scaleY);
    }
    capture->close();
    mStopRequested = false;
}
