// SPDX-License-Identifier: GPL-2.0-or-later
#include "sendfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace Velmorant::Advanced {

QString createWebLinkFile(const QString &pFolder, const QString &pUrl, const QDateTime &pNow)
{
    if (pFolder.isEmpty())
        return {};
    const QString stem = QStringLiteral("url_") + pNow.toString(QStringLiteral("yyyyMMdd_hhmmss"));
    // Two links in one second must not share a file: the first would be
    // overwritten and the second sent twice.
    QString path = QDir(pFolder).filePath(stem + QStringLiteral(".url"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(pFolder).filePath(stem + QStringLiteral("_%1.url").arg(n));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return {};
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << "[InternetShortcut]" << Qt::endl << "URL=" << pUrl << Qt::endl;
    out.flush();
    return file.error() == QFileDevice::NoError ? path : QString();
}

QString localCapturePath(const QString &pFolder, const QDateTime &pNow, const QString &pSuffix)
{
    return pFolder + QLatin1Char('/') + pNow.toString(QStringLiteral("yyyyMMdd_hhmmss")) + QLatin1Char(' ') + pSuffix +
           QStringLiteral(".png");
}

QString proposedRoomCaptureName(const QString &pLastFolder, const QDate &pToday, const QString &pSuffix)
{
    return QDir::cleanPath(pLastFolder + QDir::separator() + pToday.toString(QStringLiteral("yyyyMMdd")) +
                           QLatin1Char(' ') + pSuffix + QStringLiteral(".png"));
}

QString extensionPatterns(const QStringList &pExtensions)
{
    QStringList patterns;
    for (const QString &extension : pExtensions)
        patterns << QStringLiteral("*.") + extension;
    return patterns.isEmpty() ? QString() : QLatin1Char('(') + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

bool isAllowedFile(const QString &pPath, const QStringList &pAllowedExtensions)
{
    return pAllowedExtensions.contains(QFileInfo(pPath).suffix().toLower());
}

bool isWebLink(const QString &pLocalPath, const QString &pUrlText)
{
    return pLocalPath.isEmpty() && pUrlText.startsWith(QLatin1String("http"), Qt::CaseInsensitive);
}

} // namespace Velmorant::Advanced
