// SPDX-License-Identifier: GPL-2.0-or-later
// Logging category of screen grabbing.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCapture)
