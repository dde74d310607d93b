// SPDX-License-Identifier: GPL-2.0-or-later
// Logging category of the window framework.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUi)
