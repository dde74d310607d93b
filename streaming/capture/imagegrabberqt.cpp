// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberqt.h"

#include "capture/colourconversion.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

ImageGrabberQt::ImageGrabberQt(QObject *pParent) : ImageGrabber(pParent)
{
    // Window 0 is the whole desktop for QScreen::grabWindow on every platform.
    mDesktopWindow = 0;
}

ImageGrabberQt::~ImageGrabberQt()
{
    stop();
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

void ImageGrabberQt::stop()
{
    ImageGrabber::stop();
    mScreenCount = -1;
}

void ImageGrabberQt::setGrabbedScreenToNull()
{
    QMutexLocker guard(&mScreenGuard);
    mScreen = nullptr;
    mSelectedCount = 0;
    mScreenCount = 0;
}

ImageGrabber::Grab ImageGrabberQt::grab(FrameRecord &pImage)
{
    if (mScreenIndex >= mSelectedCount)
        return Grab::Nothing;
    QImage image;
    {
        QMutexLocker guard(&mScreenGuard);
        if (!mScreen)
            return Grab::Nothing;
        const QRect geometry = mScreen->geometry();
        const int w = roundDown4(geometry.width()), h = roundDown4(geometry.height());
        image = mScreen->grabWindow(mDesktopWindow, geometry.x(), geometry.y(), w, h).toImage();
    }
    // 32-bit pixels are B, G, R, X in memory: straight to YUV.
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32 &&
        image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_RGB32);
    const int w = roundDown4(image.width()), h = roundDown4(image.height());
    if (w <= 0 || h <= 0)
        return Grab::Nothing;
    ColourConversion::bgrxToI420(image.constBits(), int(image.bytesPerLine()), w, h, planesBuffer(pImage, w, h));
    pImage.width = w;
    pImage.height = h;
    pImage.scaleX = 1.0f;
    pImage.scaleY = 1.0f;
    return Grab::Grabbed;
}
