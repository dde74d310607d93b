// SPDX-License-Identifier: GPL-2.0-or-later
// Logging category of the session window and its messages.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcSession)
