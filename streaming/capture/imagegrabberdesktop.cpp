// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberdesktop.h"

#include "platform/screencapture.h"

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

QString ImageGrabberDesktop::getScreenName()
{
    return QString();
}

int ImageGrabberDesktop::getScreenWidth()
{
    return 0;
}

int ImageGrabberDesktop::getScreenHeight()
{
    return 0;
}

bool ImageGrabberDesktop::isScreenCountChanged()
{
    return false;
}

void ImageGrabberDesktop::stopGrabbing()
{
    ImageGrabber::stopGrabbing();
    mMonitorCount = -1;
}

bool ImageGrabberDesktop::selectedMonitor(glimra::platform::MonitorInfo &)
{
    return false;
}

void ImageGrabberDesktop::run() {}
