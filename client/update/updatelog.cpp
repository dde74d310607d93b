// SPDX-License-Identifier: GPL-2.0-or-later
#include "updatelog.h"

Q_LOGGING_CATEGORY(lcUpdate, "velmorant.update")
