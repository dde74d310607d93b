// SPDX-License-Identifier: GPL-2.0-or-later
#include "stickynote.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QStringList>
#include <QTextOption>

#include <cmath>
#include <iterator>

namespace {
struct Paper {
    const char *name;
    QRgb top, bottom, ink;
};
// Indexed by the colour code of the note format.
const Paper Papers[] = {
    {"BLUE", 0xff4483df, 0xff2d6ccf, 0xffffffff},   {"GREEN", 0xff3bb171, 0xff2c9a5e, 0xffffffff},
    {"RED", 0xffe25a52, 0xffd63f38, 0xffffffff},    {"GRAY", 0xffe4e6ea, 0xffcfd2d8, 0xff1f2228},
    {"YELLOW", 0xfff0b838, 0xffe3a20c, 0xffffffff}, {"CAMEL", 0xffc69d70, 0xffb4875a, 0xffffffff},
    {"BROWN", 0xff8d603f, 0xff7a4e30, 0xffffffff},  {"BLACK", 0xff2c3038, 0xff1f2228, 0xffffffff},
    {"ORANGE", 0xfff5843f, 0xffee6a1e, 0xffffffff},
};
constexpr int Yellow = 4;

const char *const Tags[] = {"",          "STAR",   "EXCLAMATION", "QUESTION",    "THUMBTACK",
                            "DUPLICATE", "RELOAD", "CHECK",       "APPROXIMATE", "FORBIDDEN"};

// Shown text is bounded: the composer allows about a hundred characters, a
// hostile peer any number.
constexpr int MaxShownText = 400;

int codeOf(const QString &line, const QString &key)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*#(\\w+)=(\\d{1,3})\\s*$"));
    const QRegularExpressionMatch m = digits.match(line);
    if (!m.hasMatch() || m.captured(1) != key)
        return -1;
    return m.captured(2).toInt();
}

// Drawing on a 32-unit grid, scaled into the box.
QPainterPath symbolPath(int tag)
{
    QPainterPath p;
    switch (tag) {
    case 1: { // star
        for (int i = 0; i < 10; ++i) {
            const double r = i % 2 ? 3.6 : 8.2;
            const double a = -M_PI / 2 + i * M_PI / 5;
            const QPointF pt(16 + r * std::cos(a), 16.4 + r * std::sin(a));
            i ? p.lineTo(pt) : p.moveTo(pt);
        }
        p.closeSubpath();
        break;
    }
    case 2: // exclamation
        p.moveTo(16, 8);
        p.lineTo(16, 18.5);
        p.addEllipse(QPointF(16, 23.5), 0.6, 0.6);
        break;
    case 3: // question
        p.moveTo(11.5, 12.5);
        p.cubicTo(11.5, 6.5, 20.5, 6.5, 20.5, 12);
        p.cubicTo(20.5, 15.5, 16, 16, 16, 19.5);
        p.addEllipse(QPointF(16, 24), 0.6, 0.6);
        break;
    case 4: // thumbtack
        p.moveTo(12, 8);
        p.lineTo(20, 8);
        p.moveTo(13.5, 8);
        p.lineTo(12.5, 16);
        p.lineTo(19.5, 16);
        p.lineTo(18.5, 8);
        p.moveTo(10.5, 16);
        p.lineTo(21.5, 16);
        p.moveTo(16, 16);
        p.lineTo(16, 24.5);
        break;
    case 5: // duplicate
        p.addRoundedRect(QRectF(13, 13, 10.5, 10.5), 2, 2);
        p.moveTo(9, 19);
        p.lineTo(9, 10.5);
        p.quadTo(9, 9, 10.5, 9);
        p.lineTo(19, 9);
        break;
    case 6: // reload
        p.arcMoveTo(QRectF(9, 9, 14, 14), 60);
        p.arcTo(QRectF(9, 9, 14, 14), 60, 300);
        p.moveTo(19.5, 6.8);
        p.lineTo(19.6, 10.9);
        p.lineTo(15.6, 11.6);
        break;
    case 7: // check
        p.moveTo(9, 16.5);
        p.lineTo(14, 21.5);
        p.lineTo(23, 11);
        break;
    case 8: // approximate
        p.moveTo(9.5, 13.5);
        p.cubicTo(11.6, 11.5, 13.8, 11.5, 16, 13.5);
        p.cubicTo(18.2, 15.5, 20.4, 15.5, 22.5, 13.5);
        p.moveTo(9.5, 19.5);
        p.cubicTo(11.6, 17.5, 13.8, 17.5, 16, 19.5);
        p.cubicTo(18.2, 21.5, 20.4, 21.5, 22.5, 19.5);
        break;
    case 9: // forbidden
        p.addEllipse(QPointF(16, 16), 7.5, 7.5);
        p.moveTo(10.7, 21.3);
        p.lineTo(21.3, 10.7);
        break;
    default:
        break;
    }
    return p;
}
} // namespace

StickyNote parseNote(const QString &noteText)
{
    StickyNote note;
    QStringList lines = noteText.left(4 * MaxShownText).split(QLatin1Char('\n'));
    int color = Yellow;
    if (!lines.isEmpty() && codeOf(lines.first(), QStringLiteral("color")) >= 0) {
        const int c = codeOf(lines.takeFirst(), QStringLiteral("color"));
        color = c < static_cast<int>(std::size(Papers)) ? c : Yellow;
        if (!lines.isEmpty() && codeOf(lines.first(), QStringLiteral("tag")) >= 0) {
            const int t = codeOf(lines.takeFirst(), QStringLiteral("tag"));
            note.tag = t < static_cast<int>(std::size(Tags)) ? t : 0;
        }
    }
    QString text = lines.join(QLatin1Char('\n'));
    // Control characters other than line breaks would draw as boxes.
    for (QChar &c : text) {
        if (c.unicode() < 0x20 && c != QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    if (text.size() > MaxShownText)
        text = text.left(MaxShownText) + QChar(0x2026);
    note.text = text;
    const Paper &paper = Papers[color];
    note.colorName = QString::fromLatin1(paper.name);
    note.top = QColor::fromRgba(paper.top);
    note.bottom = QColor::fromRgba(paper.bottom);
    note.ink = QColor::fromRgba(paper.ink);
    return note;
}

QString tagName(int tag)
{
    return tag > 0 && tag < static_cast<int>(std::size(Tags)) ? QString::fromLatin1(Tags[tag]) : QString();
}

void paintTagSymbol(QPainter &painter, const QRectF &box, int tag, const QColor &ink)
{
    const QPainterPath path = symbolPath(tag);
    if (path.isEmpty())
        return;
    painter.save();
    painter.translate(box.topLeft());
    painter.scale(box.width() / 32.0, box.height() / 32.0);
    painter.setPen(QPen(ink, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void paintNote(QPainter &painter, const QRectF &rect, const StickyNote &note)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = rect.width() * 0.05;
    // A soft shadow under the paper.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 70));
    painter.drawRoundedRect(rect.translated(0, rect.height() * 0.025), radius, radius);
    QLinearGradient paper(rect.topLeft(), rect.bottomLeft());
    paper.setColorAt(0, note.top);
    paper.setColorAt(1, note.bottom);
    painter.setBrush(paper);
    painter.drawRoundedRect(rect, radius, radius);
    // The folded corner of a sticky note.
    const qreal fold = rect.width() * 0.14;
    QPainterPath corner;
    corner.moveTo(rect.right() - fold, rect.bottom());
    corner.lineTo(rect.right(), rect.bottom() - fold);
    corner.lineTo(rect.right() - fold, rect.bottom() - fold);
    corner.closeSubpath();
    painter.setBrush(note.bottom.darker(125));
    painter.drawPath(corner);

    const qreal pad = rect.width() * 0.08;
    qreal textTop = rect.top() + pad;
    if (note.tag > 0) {
        const qreal badge = rect.width() * 0.22;
        const QRectF box(rect.right() - pad - badge, rect.top() + pad * 0.7, badge, badge);
        painter.setBrush(QColor(0, 0, 0, note.ink.lightness() > 128 ? 45 : 20));
        painter.drawEllipse(box);
        paintTagSymbol(painter, box, note.tag, note.ink);
        textTop = box.bottom() + pad * 0.3;
    }
    QFont font = painter.font();
    font.setLetterSpacing(QFont::PercentageSpacing, 100);
    font.setPixelSize(qMax(9, qRound(rect.width() * 0.095)));
    painter.setFont(font);
    painter.setPen(note.ink);
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.setClipRect(rect.adjusted(pad, 0, -pad, -fold));
    painter.drawText(QRectF(rect.left() + pad, textTop, rect.width() - 2 * pad, rect.bottom() - fold - textTop),
                     note.text, option);
    painter.restore();
}
