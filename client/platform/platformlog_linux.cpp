// SPDX-License-Identifier: GPL-2.0-or-later
#include "platformlog_linux.h"

Q_LOGGING_CATEGORY(lcPlatform, "velmorant.platform")
