// SPDX-License-Identifier: GPL-2.0-or-later
#include "uilogging.h"

Q_LOGGING_CATEGORY(lcUi, "velmorant.ui")
