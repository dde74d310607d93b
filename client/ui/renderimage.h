// SPDX-License-Identifier: GPL-2.0-or-later
// Pictures of the artwork: SVG drawn at the size it is shown, anything else
// loaded as it is.
#pragma once

#include <QPixmap>
#include <QString>

// A path whose lower-cased text contains ".svg" is rendered into a transparent
// ARGB32 image of pWidth x pHeight; any other path is loaded at its own size.
// A picture that cannot be made is an empty pixmap.
QPixmap renderImage(const QString &pPath, int pWidth, int pHeight);

// True when pPath names vector art.
bool isSvgPath(const QString &pPath);
