// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/imagegrabberdesktop.h"

// Grabs a monitor through the Windows GDI.
class ImageGrabberWinOS : public ImageGrabberDesktop {
    Q_OBJECT
public:
    explicit ImageGrabberWinOS(QObject *pParent = nullptr);
};
