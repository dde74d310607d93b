// SPDX-License-Identifier: GPL-2.0-or-later
// Logging category of start-up, single instance and language.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
