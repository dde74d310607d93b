// SPDX-License-Identifier: GPL-2.0-or-later
#include "transportlog.h"

Q_LOGGING_CATEGORY(lcTransport, "glimra.transport")
