// SPDX-License-Identifier: GPL-2.0-or-later
#include "capturelog.h"

Q_LOGGING_CATEGORY(lcCapture, "glimra.capture")
