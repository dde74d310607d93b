// SPDX-License-Identifier: GPL-2.0-or-later
// The start-up language rule and the translation catalogue it selects.
#pragma once

#include <QString>

namespace Velmorant {

// True when the lower-cased value contains "fr" anywhere.
bool isFrenchLanguage(const QString &language);

// The stored language, or the system locale's name when nothing is stored.
QString effectiveLanguage(const QString &storedLanguage, const QString &localeName);

// "<applicationDir>/languages/velmorantclient_fr.qm" or "..._en.qm".
QString catalogueFilePath(const QString &applicationDir, bool french);

// The "Langage" member of config.json; empty when the file cannot be read or
// does not hold that string.
QString readStartupLanguage(const QString &settingsFile);

} // namespace Velmorant
