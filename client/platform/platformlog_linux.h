// SPDX-License-Identifier: GPL-2.0-or-later
// Logging category of the Linux side of the platform seam.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
