// SPDX-License-Identifier: GPL-2.0-or-later
#include "networklog.h"

Q_LOGGING_CATEGORY(lcNetwork, "velmorant.network")
