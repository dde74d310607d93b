// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

struct AVFrame;
struct SwsContext;

// What the room receives, for whoever shows it (the room display window).
// The receiving classes report here; without a watcher nothing is kept and
// signals go nowhere, so the emulator costs what it cost before.
// Main thread only.
class RoomActivity : public QObject {
    Q_OBJECT
public:
    explicit RoomActivity(QObject *parent = nullptr);
    ~RoomActivity() override;

    void setWatched(bool on) { m_watched = on; }
    bool watched() const { return m_watched; }

    // --- stream side ---
    // A video connection of this stream finished its descriptors; the
    // newest stream is the one shown.
    void streamStarted(qint64 stream);
    void streamEnded(qint64 stream);
    // Every FRAME of a video connection, decoded or not (rate overlay).
    void frameArrived(qint64 stream, int bytes);
    // Keeps a reference to the newest decoded picture of the shown stream.
    void offerPicture(qint64 stream, const AVFrame *picture);
    void cursorMoved(qint64 stream, float x, float y);

    qint64 shownStream() const { return m_shown; }
    bool hasPicture() const;
    QSize pictureSize() const;
    // The newest picture as RGB, scaled to about target (source: the part of
    // the image to draw into target); converted once per picture and size.
    QImage picture(const QSize &target, QRect *source);
    // Frames per second and bits per second over the last second.
    QPair<double, double> rates();
    // Cursor position as fractions of the picture; (-1, -1) when unknown.
    QPointF cursor() const { return m_cursor; }

    // Input from the display for the shown stream (a whole command payload).
    void sendInput(const QByteArray &command);

    // --- session side ---
    void sessionOpened(int session);
    void sessionClosed(int session);
    void userNamed(int session, const QString &name);
    void setFullscreen(int session, bool on);
    bool fullscreen() const { return !m_fullscreen.isEmpty(); }
    QStringList users() const;
    int sessionCount() const { return m_sessions.size(); }

    void noteArrived(const QString &noteText);
    void linkArrived(const QString &url);
    void fileArrived(const QString &name, qint64 size, const QString &sha256);

    // A capture of the display, as PNG; empty when nobody shows one.
    void setCaptureSource(std::function<QByteArray()> source) { m_capture = std::move(source); }
    QByteArray capture() const { return m_capture ? m_capture() : QByteArray(); }

signals:
    void streamChanged();
    void pictureChanged();
    void cursorChanged();
    void fullscreenChanged(bool on);
    void sessionsChanged();
    void noteReceived(const QString &noteText);
    void linkReceived(const QString &url);
    void fileReceived(const QString &name, qint64 size, const QString &sha256);
    // Emulator routes it to the stream's CONTROLS connection.
    void inputReady(qint64 stream, const QByteArray &command);

private:
    void dropPicture();
    bool convert(const QSize &size);

    bool m_watched = false;
    qint64 m_shown = -1;
    AVFrame *m_frame = nullptr;
    bool m_frameNew = false;
    bool m_tooLargeLogged = false;
    QImage m_image;
    SwsContext *m_sws = nullptr;
    QPointF m_cursor{-1, -1};
    QElapsedTimer m_clock;
    std::deque<QPair<qint64, int>> m_arrivals;
    QSet<int> m_sessions;
    QMap<int, QString> m_users;
    QSet<int> m_fullscreen;
    std::function<QByteArray()> m_capture;
};
