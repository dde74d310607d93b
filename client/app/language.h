// SPDX-License-Identifier: GPL-2.0-or-later
// The start-up language rule and the translation catalogue it selects.
#pragma once

#include <QString>
#include <QStringList>

class QTranslator;

namespace Velmorant {

// True when the lower-cased value contains "fr" anywhere.
bool isFrenchLanguage(const QString &language);

// The stored language, or the system locale's name when nothing is stored.
QString effectiveLanguage(const QString &storedLanguage, const QString &localeName);

// "<applicationDir>/languages/velmorantclient_fr.qm" or "..._en.qm".
QString catalogueFilePath(const QString &applicationDir, bool french);

// Where the catalogues are looked for, in this order: "languages" beside the
// program (the build tree, a copied program), then the installed data folder,
// found relative to the program so that a relocated installation works too.
QStringList catalogueFolders(const QString &applicationDir);

// The catalogue of the language in the first folder that holds it; empty
// when none does.
QString findCatalogue(const QStringList &folders, bool french);

// Finds and loads the language's catalogue into the translator and logs
// which file it was; false (texts stay untranslated) when there is none.
bool loadCatalogue(QTranslator &translator, const QString &applicationDir, bool french);

// The "Langage" member of config.json; empty when the file cannot be read or
// does not hold that string.
QString readStartupLanguage(const QString &settingsFile);

} // namespace Velmorant
