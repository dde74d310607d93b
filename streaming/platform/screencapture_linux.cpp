// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/screencapture.h"

namespace glimra::platform {
std::unique_ptr<ScreenCapture> createSystemScreenCapture()
{
    return nullptr;
}
} // namespace glimra::platform
