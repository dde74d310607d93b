// SPDX-License-Identifier: GPL-2.0-or-later
#include "compressionlog.h"

Q_LOGGING_CATEGORY(lcCompression, "glimra.compression")
