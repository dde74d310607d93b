// SPDX-License-Identifier: GPL-2.0-or-later
#include "language.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace Velmorant {

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
    return applicationDir + (french ? QLatin1String("/languages/velmorantclient_fr.qm")
                                    : QLatin1String("/languages/velmorantclient_en.qm"));
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
