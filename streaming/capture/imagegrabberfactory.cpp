// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture/imagegrabberfactory.h"

#include "capture/imagegrabberdesktop.h"
#include "platform/screencapture.h"

std::unique_ptr<ImageGrabber> createSystemImageGrabber()
{
    return std::make_unique<ImageGrabberDesktop>(&glimra::platform::createSystemScreenCapture);
}
