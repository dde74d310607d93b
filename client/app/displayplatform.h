// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>

namespace Velmorant {

// The Qt platform plugin to ask for, from the session's environment. On a
// Wayland session with XWayland the windows run as X11 clients: frameless
// windows placed where they are told, as on X11 (Wayland lets no client
// place its own windows). Empty: leave Qt's choice alone (a plugin was set
// by the user, or there is no Wayland session, or no XWayland).
QByteArray preferredQtPlatform(const QByteArray &pQtPlatform, const QByteArray &pSessionType,
                               const QByteArray &pWaylandDisplay, const QByteArray &pX11Display);

} // namespace Velmorant
