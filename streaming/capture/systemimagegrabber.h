// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/imagegrabber.h"

#include <memory>

// The grabber the facade uses on this operating system: ImageGrabberX11 on
// Linux, ImageGrabberWinOS on Windows (chosen by the build).
std::unique_ptr<ImageGrabber> createSystemImageGrabber();
