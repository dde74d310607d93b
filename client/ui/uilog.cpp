// SPDX-License-Identifier: GPL-2.0-or-later
#include "uilog.h"

Q_LOGGING_CATEGORY(lcUi, "velmorant.ui")
