// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/inputbackend.h"

namespace glimra::platform {
std::unique_ptr<InputBackend> createSystemInputBackend()
{
    return nullptr;
}
} // namespace glimra::platform
