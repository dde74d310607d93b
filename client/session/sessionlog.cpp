// SPDX-License-Identifier: GPL-2.0-or-later
#include "sessionlog.h"

Q_LOGGING_CATEGORY(lcSession, "velmorant.session")
