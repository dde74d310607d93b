// SPDX-License-Identifier: GPL-2.0-or-later
// One window of the window description: its unscaled size and its widgets.
#pragma once

#include "widgetdescription.h"

#include <vector>

struct WindowDescription {
    int width = 0;
    int height = 0;
    std::vector<WidgetDescription> children;
};
