// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberwinos.h"

#include "capture/systemimagegrabber.h"
#include "platform/screencapture.h"

ImageGrabberWinOS::ImageGrabberWinOS(QObject *pParent)
    : ImageGrabberDesktop(&glimra::platform::createSystemScreenCapture, pParent)
{
}

std::unique_ptr<ImageGrabber> createSystemImageGrabber()
{
    return std::make_unique<ImageGrabberWinOS>();
}
