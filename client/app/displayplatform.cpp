// SPDX-License-Identifier: GPL-2.0-or-later
#include "displayplatform.h"

namespace Velmorant {

QByteArray preferredQtPlatform(const QByteArray &pQtPlatform, const QByteArray &pSessionType,
                               const QByteArray &pWaylandDisplay, const QByteArray &pX11Display)
{
    const bool wayland = pSessionType == "wayland" || !pWaylandDisplay.isEmpty();
    if (!pQtPlatform.isEmpty() || !wayland || pX11Display.isEmpty())
        return QByteArray();
    // Wayland stays the fallback should XWayland refuse the connection.
    return QByteArrayLiteral("xcb;wayland");
}

} // namespace Velmorant
