// SPDX-License-Identifier: GPL-2.0-or-later
#include "renderimage.h"

#include "uilog.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

namespace {
// Far beyond any window of the client; a description asking for more is broken
// and must not make the GUI thread allocate gigabytes.
constexpr int kMaxSide = 16384;
} // namespace

bool isSvgPath(const QString &pPath)
{
    return pPath.toLower().contains(QLatin1String(".svg"));
}

QPixmap renderImage(const QString &pPath, int pWidth, int pHeight)
{
    if (pPath.isEmpty())
        return QPixmap();
    if (!isSvgPath(pPath)) {
        QPixmap pixmap(pPath);
        if (pixmap.isNull())
            qCWarning(lcUi) << "cannot load the picture" << pPath;
        return pixmap;
    }
    if (pWidth <= 0 || pHeight <= 0 || pWidth > kMaxSide || pHeight > kMaxSide) {
        if (pWidth > kMaxSide || pHeight > kMaxSide)
            qCWarning(lcUi) << "refusing to render" << pPath << "at" << pWidth << "x" << pHeight;
        return QPixmap();
    }
    QSvgRenderer renderer(pPath);
    if (!renderer.isValid()) {
        qCWarning(lcUi) << "cannot load the vector picture" << pPath;
        return QPixmap();
    }
    QImage image(pWidth, pHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return QPixmap::fromImage(image);
}
