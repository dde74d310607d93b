// SPDX-License-Identifier: GPL-2.0-or-later
// The language entry of the settings window. A new language takes effect at
// the next start, so the entry first shown after construction is the one in
// force for this run, and choosing another calls for a restart.
#pragma once

#include <QString>

namespace Velmorant {

class LanguageChoice {
public:
    enum Index { English = 0, French = 1 };

    // The entry for a stored language text: French for any text naming it
    // ("fr", "Francais", "French"...), English for everything else.
    static int indexOf(const QString &pLanguage);

    // Forgets the language in force; the next entry shown fixes it.
    void forget() { m_inForce = -1; }
    void shown(int pIndex)
    {
        if (m_inForce == -1)
            m_inForce = pIndex;
    }
    bool needsRestart(int pIndex) const { return pIndex != m_inForce; }

private:
    int m_inForce = -1;
};

} // namespace Velmorant
