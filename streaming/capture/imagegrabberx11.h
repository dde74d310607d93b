// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/imagegrabberdesktop.h"

// Grabs a RandR monitor of the X server (MIT-SHM, else GetImage).
class ImageGrabberX11 : public ImageGrabberDesktop {
    Q_OBJECT
public:
    explicit ImageGrabberX11(QObject *pParent = nullptr);
};
