// SPDX-License-Identifier: GPL-2.0-or-later
#include "language.h"

#include "applog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTranslator>

namespace Velmorant {

namespace {

QLatin1String catalogueName(bool french)
{
    return french ? QLatin1String("velmorantclient_fr.qm") : QLatin1String("velmorantclient_en.qm");
}

} // namespace

bool isFrenchLanguage(const QString &language)
{
    return language.toLower().contains(QLatin1String("fr"));
}

QString effectiveLanguage(const QString &storedLanguage, const QString &localeName)
{
    return storedLanguage.isEmpty() ? localeName : storedLanguage;
}

QString catalogueFilePath(const QString &applicationDir, bool french)
{
    return applicationDir + QLatin1String("/languages/") + catalogueName(french);
}

QStringList catalogueFolders(const QString &applicationDir)
{
    // VELMORANT_INSTALLED_CATALOGUES: the data folder relative to the
    // installed program, given by the build ("../share/<package>/languages").
    return {applicationDir + QLatin1String("/languages"),
            QDir::cleanPath(applicationDir + QLatin1Char('/') + QLatin1String(VELMORANT_INSTALLED_CATALOGUES))};
}

QString findCatalogue(const QStringList &folders, bool french)
{
    for (const QString &folder : folders) {
        const QString path = folder + QLatin1Char('/') + catalogueName(french);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

bool loadCatalogue(QTranslator &translator, const QString &applicationDir, bool french)
{
    const QStringList folders = catalogueFolders(applicationDir);
    const QString path = findCatalogue(folders, french);
    if (path.isEmpty()) {
        qCWarning(lcApp).noquote() << "no translation catalogue" << catalogueName(french) << "in"
                                   << folders.join(QLatin1String(", ")) << "- texts stay untranslated";
        return false;
    }
    if (!translator.load(path)) {
        qCWarning(lcApp).noquote() << "translation catalogue" << path << "cannot be loaded";
        return false;
    }
    qCInfo(lcApp).noquote() << "translation catalogue" << path;
    return true;
}

QString readStartupLanguage(const QString &settingsFile)
{
    QFile file(settingsFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = file.readAll();
    file.close();
    return QJsonDocument::fromJson(content).object().value(QLatin1String("Langage")).toString();
}

} // namespace Velmorant
