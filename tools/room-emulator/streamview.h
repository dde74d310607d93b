// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "room.h"

#include <QImage>
#include <QList>
#include <QTimer>
#include <QWidget>

class RoomActivity;

// The stream area of the room display: the shown stream fitted with its
// aspect kept, its rates in a corner, the sender's cursor; the room code
// while nothing streams. Mouse and keys on the picture go back to the
// client as the room's remote input. GUI thread only.
class StreamView : public QWidget {
    Q_OBJECT
public:
    StreamView(RoomActivity *activity, const QList<Room> &rooms, QWidget *parent = nullptr);

    // Where the picture lies, in this widget's coordinates; empty without one.
    QRect pictureRect() const;

signals:
    void firstPainted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    // Tab belongs to the remote computer, not to this window's focus chain.
    bool focusNextPrevChild(bool next) override;

private:
    void paintIdle(QPainter &painter);
    void paintRates(QPainter &painter, const QRect &picture);
    void paintCursor(QPainter &painter, const QRect &picture);
    void reportPicture(const QRect &picture);
    // Fraction of the picture under pos, clamped; false outside it unless clamped.
    bool toStream(const QPoint &pos, bool clamp, QPointF *out) const;
    void sendMouse(const QPointF &at, quint8 action, quint8 button, int wheel = 0);
    void sendKey(quint8 action, quint16 vk, quint16 scan);

    RoomActivity *m_activity;
    QList<Room> m_rooms;
    // A picture was drawn by the last paint (input goes back only then).
    bool m_showing = false;
    QTimer m_rateTimer;
    QRect m_reported;
    bool m_reportedFullscreen = false;
    QSize m_reportedSize;
    bool m_painted = false;
    int m_heldButton = -1;
};
