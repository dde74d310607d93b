// SPDX-License-Identifier: GPL-2.0-or-later
#include "applog.h"

Q_LOGGING_CATEGORY(lcApp, "velmorant.app")
