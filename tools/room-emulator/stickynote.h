// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QColor>
#include <QString>

class QPainter;
class QRectF;

// One note as the room reads "note_text": three lines, a colour code, a tag
// code and the text.
//
//   #color=0
//   #tag=1
//   Hi
//
// A text without the two code lines is still shown, yellow and untagged.
struct StickyNote {
    QString colorName = QStringLiteral("YELLOW");
    int tag = 0; // 0: none, 1..9 star .. forbidden
    QString text;
    QColor top, bottom, ink;
};

StickyNote parseNote(const QString &noteText);
QString tagName(int tag);

// A note of any size: paper in its colour, its tag in the corner, the text.
void paintNote(QPainter &painter, const QRectF &rect, const StickyNote &note);
// The tag's symbol, stroked in a square box.
void paintTagSymbol(QPainter &painter, const QRectF &box, int tag, const QColor &ink);
