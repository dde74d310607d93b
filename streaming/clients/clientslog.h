// SPDX-License-Identifier: GPL-2.0-or-later
// Logging category of receiver management.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcClients)
