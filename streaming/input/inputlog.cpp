// SPDX-License-Identifier: GPL-2.0-or-later
#include "inputlog.h"

Q_LOGGING_CATEGORY(lcInput, "glimra.input")
