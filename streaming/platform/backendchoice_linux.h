// SPDX-License-Identifier: GPL-2.0-or-later
// Which Linux backends serve the seam: the desktop portal on a Wayland
// session, X11 otherwise; GLIMRA_CAPTURE=x11|portal decides for tests and
// users who know better.
#pragma once

#include "platform/inputbackend.h"
#include "platform/screencapture.h"

#include <memory>

namespace glimra::platform {

bool usePortalBackends();
// What setRemoteInputWanted() was last told.
bool remoteInputWanted();

std::unique_ptr<ScreenCapture> createX11ScreenCapture();
std::unique_ptr<ScreenCapture> createPortalScreenCapture();
std::unique_ptr<InputBackend> createXTestInputBackend();
std::unique_ptr<InputBackend> createPortalInputBackend();

} // namespace glimra::platform
