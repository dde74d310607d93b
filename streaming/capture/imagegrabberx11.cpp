// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberx11.h"

#include "capture/systemimagegrabber.h"
#include "platform/screencapture.h"

ImageGrabberX11::ImageGrabberX11(QObject *pParent)
    : ImageGrabberDesktop(&glimra::platform::createSystemScreenCapture, pParent)
{
}

std::unique_ptr<ImageGrabber> createSystemImageGrabber()
{
    return std::make_unique<ImageGrabberX11>();
}
