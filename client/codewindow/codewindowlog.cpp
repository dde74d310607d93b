// SPDX-License-Identifier: GPL-2.0-or-later
#include "codewindowlog.h"

Q_LOGGING_CATEGORY(lcCodeWindow, "velmorant.codewindow")
