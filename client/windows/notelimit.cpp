// SPDX-License-Identifier: GPL-2.0-or-later
#include "notelimit.h"

#include <algorithm>

namespace Velmorant {
namespace Advanced {
namespace NoteLimit {

int lineBreaks(const QString &pText)
{
    return int(pText.count(QLatin1Char('\n')));
}

int weight(const QString &pText)
{
    return int(pText.size()) + (kLineBreakWeight - 1) * lineBreaks(pText);
}

int fittingLength(const QString &pText, int pBudget)
{
    int used = 0;
    int i = 0;
    const int size = int(pText.size());
    while (i < size) {
        int step = 1;
        int cost = pText.at(i) == QLatin1Char('\n') ? kLineBreakWeight : 1;
        if (pText.at(i).isHighSurrogate() && i + 1 < size && pText.at(i + 1).isLowSurrogate()) {
            step = 2;
            cost = 2;
        }
        if (used + cost > pBudget)
            break;
        used += cost;
        i += step;
    }
    return i;
}

QString fit(const QString &pPrevious, const QString &pCurrent, int &pCaret)
{
    const int previousSize = int(pPrevious.size());
    const int currentSize = int(pCurrent.size());
    if (weight(pPrevious) > kMaxWeight) {
        pCaret = fittingLength(pCurrent, kMaxWeight);
        return pCurrent.left(pCaret);
    }

    const int common = std::min(previousSize, currentSize);
    int prefix = 0;
    while (prefix < common && pPrevious.at(prefix) == pCurrent.at(prefix))
        ++prefix;
    if (prefix > 0 && pCurrent.at(prefix - 1).isHighSurrogate())
        --prefix;
    int suffix = 0;
    while (suffix < common - prefix && pPrevious.at(previousSize - 1 - suffix) == pCurrent.at(currentSize - 1 - suffix))
        ++suffix;
    if (suffix > 0 && pCurrent.at(currentSize - suffix).isLowSurrogate())
        --suffix;

    const QString head = pCurrent.left(prefix);
    const QString tail = pCurrent.right(suffix);
    const QString inserted = pCurrent.mid(prefix, currentSize - prefix - suffix);
    // head and tail are disjoint parts of pPrevious, so they fit together.
    const int kept = fittingLength(inserted, kMaxWeight - weight(head) - weight(tail));
    pCaret = prefix + kept;
    return head + inserted.left(kept) + tail;
}

} // namespace NoteLimit
} // namespace Advanced
} // namespace Velmorant
