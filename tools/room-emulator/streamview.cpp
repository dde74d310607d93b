// SPDX-License-Identifier: GPL-2.0-or-later
#include "streamview.h"

#include "eventlog.h"
#include "keymap.h"
#include "roomactivity.h"
#include "wire.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

namespace {
const QColor Accent(254, 79, 0);

// The pointer id the room uses for its mouse.
constexpr qint32 MousePointer = 0;

// Mouse actions and buttons of MOUS_EVENT.
enum : quint8 { Move = 0, Release = 1, Press = 2, Wheel = 3 };

int roomButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 0;
    case Qt::MiddleButton:
        return 1;
    case Qt::RightButton:
        return 2;
    default:
        return -1;
    }
}

QString rateText(double fps, double bits)
{
    const QString rate = bits >= 1e6 ? QStringLiteral("%1 Mbit/s").arg(bits / 1e6, 0, 'f', 2)
                                     : QStringLiteral("%1 kbit/s").arg(bits / 1e3, 0, 'f', 0);
    return QStringLiteral("%1 fps  \u00b7  %2").arg(fps, 0, 'f', 0).arg(rate);
}
} // namespace

StreamView::StreamView(RoomActivity *activity, const QList<Room> &rooms, QWidget *parent)
    : QWidget(parent), m_activity(activity), m_rooms(rooms)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(160, 120);
    m_rateTimer.setInterval(500);
    connect(&m_rateTimer, &QTimer::timeout, this, [this] { update(); });
    connect(activity, &RoomActivity::pictureChanged, this, [this] { update(); });
    connect(activity, &RoomActivity::cursorChanged, this, [this] { update(); });
    connect(activity, &RoomActivity::sessionsChanged, this, [this] { update(); });
    connect(activity, &RoomActivity::streamChanged, this, [this] {
        m_showing = false;
        m_heldButton = -1;
        // Rates refresh only while something streams; idle costs nothing.
        if (m_activity->shownStream() >= 0)
            m_rateTimer.start();
        else
            m_rateTimer.stop();
        update();
    });
}

QRect StreamView::pictureRect() const
{
    const QSize picture = m_activity->pictureSize();
    if (picture.isEmpty() || m_activity->shownStream() < 0)
        return QRect();
    const QSize fitted = picture.scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void StreamView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect picture = pictureRect();
    QRect source;
    const QImage image = m_activity->shownStream() < 0 ? QImage() : m_activity->picture(picture.size(), &source);
    m_showing = !image.isNull();
    if (!m_showing) {
        paintIdle(painter);
    } else {
        painter.fillRect(rect(), Qt::black);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(picture, image, source);
        paintCursor(painter, picture);
        paintRates(painter, picture);
    }
    if (!m_painted) {
        m_painted = true;
        // After this paint has reached the screen.
        QTimer::singleShot(0, this, &StreamView::firstPainted);
    }
    reportPicture(m_showing ? picture : QRect());
}

void StreamView::paintIdle(QPainter &painter)
{
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, QColor(0x1d, 0x22, 0x2a));
    background.setColorAt(1, QColor(0x10, 0x13, 0x18));
    painter.fillRect(rect(), background);
    if (m_rooms.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Room &room = m_rooms.first();
    const int unit = qMin(width() / 16, height() / 9);

    QFont caption = font();
    caption.setPixelSize(qMax(10, unit * 4 / 10));
    caption.setLetterSpacing(QFont::AbsoluteSpacing, unit * 0.06);
    QFont code = font();
    code.setPixelSize(qMax(24, unit * 2));
    code.setWeight(QFont::DemiBold);
    code.setLetterSpacing(QFont::AbsoluteSpacing, unit * 0.35);
    QFont name = font();
    name.setPixelSize(qMax(12, unit * 6 / 10));
    QFont small = font();
    small.setPixelSize(qMax(10, unit * 35 / 100));

    const int centre = height() / 2;
    painter.setFont(caption);
    painter.setPen(Accent);
    painter.drawText(QRect(0, centre - unit * 3, width(), unit), Qt::AlignHCenter | Qt::AlignBottom,
                     QStringLiteral("ROOM CODE"));
    painter.setFont(code);
    painter.setPen(Qt::white);
    const QRect codeRect(0, centre - unit * 2, width(), unit * 2 + unit / 2);
    // Letter spacing trails the last letter too; half of it back keeps the code centred.
    painter.drawText(codeRect.translated(qRound(unit * 0.35 / 2), 0), Qt::AlignCenter, room.code);
    // A short accent rule between code and name.
    painter.setPen(QPen(Accent, qMax(2, unit / 14), Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(width() / 2 - unit, codeRect.bottom() + unit / 3, width() / 2 + unit,
                     codeRect.bottom() + unit / 3);
    painter.setFont(name);
    painter.setPen(QColor(255, 255, 255, 230));
    painter.drawText(QRect(0, codeRect.bottom() + unit / 2, width(), unit), Qt::AlignCenter, room.name);

    painter.setFont(small);
    painter.setPen(QColor(255, 255, 255, 150));
    const QStringList users = m_activity->users();
    QString line;
    if (m_activity->sessionCount() == 0)
        line = QStringLiteral("Type this code in Velmorant Client to join the room");
    else if (users.isEmpty())
        line = QStringLiteral("%1 connected").arg(m_activity->sessionCount());
    else
        line = QStringLiteral("Connected: %1").arg(users.join(QStringLiteral(", ")));
    painter.drawText(QRect(unit, codeRect.bottom() + unit * 3 / 2, width() - 2 * unit, unit),
                     Qt::AlignCenter | Qt::TextWordWrap,
                     painter.fontMetrics().elidedText(line, Qt::ElideRight, width() - 2 * unit));
}

void StreamView::paintRates(QPainter &painter, const QRect &picture)
{
    const QPair<double, double> rates = m_activity->rates();
    QFont f = font();
    f.setPixelSize(12);
    painter.setFont(f);
    const QString text = rateText(rates.first, rates.second);
    const int width = painter.fontMetrics().horizontalAdvance(text) + 20;
    const QRect box(picture.right() - 10 - width, picture.top() + 10, width, 24);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawRoundedRect(box, 12, 12);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
}

void StreamView::paintCursor(QPainter &painter, const QRect &picture)
{
    const QPointF at = m_activity->cursor();
    if (at.x() < 0)
        return;
    const QPointF tip(picture.left() + at.x() * picture.width(), picture.top() + at.y() * picture.height());
    QPainterPath arrow;
    const QPointF shape[] = {{0, 0}, {0, 17}, {4.5, 13}, {7.5, 19.5}, {10, 18.5}, {7, 12}, {12.5, 12}};
    arrow.moveTo(tip + shape[0]);
    for (const QPointF &p : shape)
        arrow.lineTo(tip + p);
    arrow.closeSubpath();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.2));
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);
}

void StreamView::reportPicture(const QRect &picture)
{
    const bool fullscreen = m_activity->fullscreen();
    const QRect inWindow = picture.isNull() ? QRect() : QRect(mapTo(window(), picture.topLeft()), picture.size());
    const QSize size = m_activity->pictureSize();
    if (inWindow == m_reported && fullscreen == m_reportedFullscreen && size == m_reportedSize)
        return;
    m_reported = inWindow;
    m_reportedFullscreen = fullscreen;
    m_reportedSize = size;
    if (inWindow.isNull())
        return;
    const qint64 stream = m_activity->shownStream();
    QTimer::singleShot(0, this, [inWindow, fullscreen, stream, size] {
        events().write(QStringLiteral("display.stream"), {{QStringLiteral("stream"), static_cast<double>(stream)},
                                                          {QStringLiteral("x"), inWindow.x()},
                                                          {QStringLiteral("y"), inWindow.y()},
                                                          {QStringLiteral("width"), inWindow.width()},
                                                          {QStringLiteral("height"), inWindow.height()},
                                                          {QStringLiteral("picture_width"), size.width()},
                                                          {QStringLiteral("picture_height"), size.height()},
                                                          {QStringLiteral("fullscreen"), fullscreen}});
    });
}

bool StreamView::toStream(const QPoint &pos, bool clamp, QPointF *out) const
{
    const QRect picture = pictureRect();
    if (picture.isEmpty() || !m_showing)
        return false;
    double x = (pos.x() - picture.left() + 0.5) / picture.width();
    double y = (pos.y() - picture.top() + 0.5) / picture.height();
    if (!clamp && (x < 0 || x > 1 || y < 0 || y > 1))
        return false;
    *out = QPointF(qBound(0.0, x, 1.0), qBound(0.0, y, 1.0));
    return true;
}

void StreamView::sendMouse(const QPointF &at, quint8 action, quint8 button, int wheel)
{
    QByteArray command = wire::command("MOUS_EVENT");
    wire::appendI32(command, MousePointer);
    wire::appendF32(command, action == Wheel ? static_cast<float>(wheel) : static_cast<float>(at.x()));
    wire::appendF32(command, action == Wheel ? 0.0f : static_cast<float>(at.y()));
    wire::appendU8(command, action);
    wire::appendU8(command, button);
    m_activity->sendInput(command);
}

void StreamView::sendKey(quint8 action, quint16 vk, quint16 scan)
{
    QByteArray command = wire::command("KEYB_EVENT");
    wire::appendU8(command, action);
    wire::appendU16(command, vk);
    wire::appendU16(command, scan);
    m_activity->sendInput(command);
}

void StreamView::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    const int button = roomButton(event->button());
    QPointF at;
    // One button at a time, as the room's single pointer has.
    if (button < 0 || m_heldButton >= 0 || !toStream(event->pos(), false, &at))
        return;
    m_heldButton = button;
    sendMouse(at, Press, static_cast<quint8>(button));
}

void StreamView::mouseReleaseEvent(QMouseEvent *event)
{
    const int button = roomButton(event->button());
    QPointF at;
    if (button < 0 || button != m_heldButton)
        return;
    m_heldButton = -1;
    if (toStream(event->pos(), true, &at))
        sendMouse(at, Release, static_cast<quint8>(button));
}

void StreamView::mouseMoveEvent(QMouseEvent *event)
{
    QPointF at;
    if (toStream(event->pos(), m_heldButton >= 0, &at))
        sendMouse(at, Move, static_cast<quint8>(qMax(0, m_heldButton)));
}

void StreamView::wheelEvent(QWheelEvent *event)
{
    QPointF at;
    const int delta = event->angleDelta().y();
    if (delta != 0 && m_heldButton < 0 && toStream(event->position().toPoint(), false, &at))
        sendMouse(at, Wheel, 0, delta);
    event->accept();
}

void StreamView::keyPressEvent(QKeyEvent *event)
{
    if (!m_showing)
        return;
    for (const RoomKey &k : roomKeys(event->key(), event->nativeScanCode(), event->text())) {
        sendKey(0, k.vk, k.scan);
        // A character sent as itself has no key to hold: it is released at once.
        if (k.vk == 0)
            sendKey(1, k.vk, k.scan);
    }
}

void StreamView::keyReleaseEvent(QKeyEvent *event)
{
    if (!m_showing || event->isAutoRepeat())
        return;
    for (const RoomKey &k : roomKeys(event->key(), event->nativeScanCode(), event->text())) {
        if (k.vk != 0)
            sendKey(1, k.vk, k.scan);
    }
}

bool StreamView::focusNextPrevChild(bool)
{
    return false;
}
