// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/backendchoice_linux.h"
#include "platform/platformlog_linux.h"
#include "platform/portalsession_linux.h"

#include <QLoggingCategory>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace glimra::platform {

namespace {

bool choosePortal()
{
    const char *forced = std::getenv("GLIMRA_CAPTURE");
    if (forced && std::strcmp(forced, "portal") == 0)
        return true;
    if (forced && std::strcmp(forced, "x11") == 0)
        return false;
    if (forced && *forced)
        qCWarning(lcPlatform) << "GLIMRA_CAPTURE is" << forced << "; expected x11 or portal";
    const char *session = std::getenv("XDG_SESSION_TYPE");
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if (!(session && std::strcmp(session, "wayland") == 0) && !(wayland && *wayland))
        return false;
    if (!PortalSession::portalAvailable()) {
        // X11 then sees only the X clients, but that is better than nothing.
        qCWarning(lcPlatform) << "Wayland session without a desktop portal: capturing through XWayland";
        return false;
    }
    return true;
}

std::atomic<bool> gRemoteInputWanted{false};

} // namespace

bool usePortalBackends()
{
    static const bool portal = [] {
        const bool chosen = choosePortal();
        qCInfo(lcPlatform) << "screen capture and input through" << (chosen ? "the desktop portal" : "X11");
        return chosen;
    }();
    return portal;
}

std::unique_ptr<ScreenCapture> createSystemScreenCapture()
{
    return usePortalBackends() ? createPortalScreenCapture() : createX11ScreenCapture();
}

std::unique_ptr<InputBackend> createSystemInputBackend()
{
    return usePortalBackends() ? createPortalInputBackend() : createXTestInputBackend();
}

void setRemoteInputWanted(bool pWanted)
{
    gRemoteInputWanted = pWanted;
}

bool remoteInputWanted()
{
    return gRemoteInputWanted;
}

} // namespace glimra::platform
