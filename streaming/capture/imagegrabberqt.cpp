// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberqt.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstring>

ImageGrabberQt::ImageGrabberQt(QObject *pParent) : ImageGrabber(pParent)
{
    // Window 0 is the whole desktop for QScreen::grabWindow on every platform.
    mDesktopWindow = 0;
}

ImageGrabberQt::~ImageGrabberQt()
{
    stopGrabbing();
}

void ImageGrabberQt::setScreenIndex(int pIndex)
{
    mScreenIndex = pIndex;
    const QList<QScreen *> screens = QGuiApplication::screens();
    QScreen *screen = pIndex >= 0 && pIndex < screens.size() ? screens[pIndex] : nullptr;
    {
        QMutexLocker guard(&mScreenGuard);
        if (mScreen)
            disconnect(mScreen, &QObject::destroyed, this, &ImageGrabberQt::setGrabbedScreenToNull);
        mScreen = screen;
    }
    mScreenCount = screens.size();
    mSelectedCount = screens.size();
    if (screen)
        connect(screen, &QObject::destroyed, this, &ImageGrabberQt::setGrabbedScreenToNull, Qt::DirectConnection);
}

QString ImageGrabberQt::getScreenName()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    const int index = mScreenIndex;
    return index >= 0 && index < screens.size() ? screens[index]->name() : QString();
}

int ImageGrabberQt::getScreenWidth()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    const int index = mScreenIndex;
    // Rounded like the images, so the size reported to receivers is the
    // size they get.
    return index >= 0 && index < screens.size() ? roundDown4(screens[index]->geometry().width()) : 0;
}

int ImageGrabberQt::getScreenHeight()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    const int index = mScreenIndex;
    return index >= 0 && index < screens.size() ? roundDown4(screens[index]->geometry().height()) : 0;
}

bool ImageGrabberQt::isScreenCountChanged()
{
    int expected = mScreenCount.load();
    if (expected == -1)
        return false;
    const int count = QGuiApplication::screens().size();
    if (count == expected)
        return false;
    return mScreenCount.compare_exchange_strong(expected, count);
}

void ImageGrabberQt::stopGrabbing()
{
    ImageGrabber::stopGrabbing();
    mScreenCount = -1;
}

void ImageGrabberQt::setGrabbedScreenToNull()
{
    QMutexLocker guard(&mScreenGuard);
    mScreen = nullptr;
    mSelectedCount = 0;
    mScreenCount = 0;
}

void ImageGrabberQt::run()
{
    while (!isStopRequested()) {
        if (mScreenIndex >= mSelectedCount || mImageAvailable.load(std::memory_order_acquire)) {
            msleep(1);
            continue;
        }
        QMutexLocker lock(&mMutex);
        QImage image;
        {
            QMutexLocker guard(&mScreenGuard);
            if (!mScreen) {
                guard.unlock();
                lock.unlock();
                msleep(10);
                continue;
            }
            const QRect geometry = mScreen->geometry();
            const int w = roundDown4(geometry.width()), h = roundDown4(geometry.height());
            image = mScreen->grabWindow(mDesktopWindow, geometry.x(), geometry.y(), w, h).toImage();
        }
        // 32-bit pixels are B, G, R, X in memory: drop every fourth byte.
        // (QImage's own conversion of large images runs on a thread pool,
        // which is not worth it for a copy like this.)
        if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32 &&
            image.format() != QImage::Format_ARGB32_Premultiplied)
            image = image.convertToFormat(QImage::Format_RGB32);
        const int w = roundDown4(image.width()), h = roundDown4(image.height());
        if (w <= 0 || h <= 0) {
            lock.unlock();
            msleep(10);
            continue;
        }
        char *pixels = mailboxBuffer(w * h * 3);
        for (int y = 0; y < h; ++y) {
            const uchar *src = image.constScanLine(y);
            char *dst = pixels + size_t(y) * w * 3;
            for (int x = 0; x < w; ++x) {
                dst[x * 3] = char(src[x * 4]);
                dst[x * 3 + 1] = char(src[x * 4 + 1]);
                dst[x * 3 + 2] = char(src[x * 4 + 2]);
            }
        }
        publishImage(w, h, 1.0f, 1.0f);
    }
    mStopRequested = false;
}
