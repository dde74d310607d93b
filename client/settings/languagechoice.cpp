// SPDX-License-Identifier: GPL-2.0-or-later
#include "languagechoice.h"

namespace Velmorant {

int LanguageChoice::indexOf(const QString &pLanguage)
{
    return pLanguage.toLower().contains(QLatin1String("fr")) ? French : English;
}

} // namespace Velmorant
