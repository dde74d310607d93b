// SPDX-License-Identifier: GPL-2.0-or-later
#include "windowslog.h"

Q_LOGGING_CATEGORY(lcWindows, "velmorant.windows")
