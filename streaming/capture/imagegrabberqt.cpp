// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberqt.h"

ImageGrabberQt::ImageGrabberQt(QObject *pParent) : ImageGrabber(pParent) {}

ImageGrabberQt::~ImageGrabberQt()
{
    stopGrabbing();
}

void ImageGrabberQt::setScreenIndex(int pIndex)
{
    mScreenIndex = pIndex;
}

QString ImageGrabberQt::getScreenName()
{
    return QString();
}

int ImageGrabberQt::getScreenWidth()
{
    return 0;
}

int ImageGrabberQt::getScreenHeight()
{
    return 0;
}

bool ImageGrabberQt::isScreenCountChanged()
{
    return false;
}

void ImageGrabberQt::stopGrabbing()
{
    ImageGrabber::stopGrabbing();
    mScreenCount = -1;
}

void ImageGrabberQt::setGrabbedScreenToNull() {}

void ImageGrabberQt::run() {}
