// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/imagegrabber.h"

#include <memory>

// The grabber the facade uses on this operating system: the desktop grabber
// over the system's capture seam (MIT-SHM on X11, the GDI on Windows).
std::unique_ptr<ImageGrabber> createSystemImageGrabber();
