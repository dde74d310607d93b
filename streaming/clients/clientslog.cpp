// SPDX-License-Identifier: GPL-2.0-or-later
#include "clientslog.h"

Q_LOGGING_CATEGORY(lcClients, "glimra.clients")
