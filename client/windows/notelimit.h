// SPDX-License-Identifier: GPL-2.0-or-later
// The length rule of a sticky note: the room shows at most 102 units of text,
// a line break taking the room of 20 characters.
#pragma once

#include <QString>

namespace Velmorant {
namespace Advanced {
namespace NoteLimit {

inline constexpr int kMaxWeight = 102;
inline constexpr int kLineBreakWeight = 20;

int lineBreaks(const QString &pText);
// Characters (UTF-16 units) plus 19 for every line feed.
int weight(const QString &pText);

// Length of the longest beginning of pText that weighs at most pBudget. A
// character outside the BMP is kept or dropped whole, never split.
int fittingLength(const QString &pText, int pBudget);

// pCurrent is pPrevious after one edit (typing, paste, drop, undo) and is
// too long. Cuts what the edit inserted to the longest beginning that fits,
// so the text around the edit point is kept. pCaret receives the position
// just after what is kept of the insertion. A pPrevious that is itself too
// long (not a text this rule let through) gives the longest fitting
// beginning of pCurrent.
QString fit(const QString &pPrevious, const QString &pCurrent, int &pCaret);

} // namespace NoteLimit
} // namespace Advanced
} // namespace Velmorant
