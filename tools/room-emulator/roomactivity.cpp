// SPDX-License-Identifier: GPL-2.0-or-later
#include "roomactivity.h"

#include "eventlog.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <QPointF>

#include <cmath>

namespace {
// Larger pictures are still decoded and logged, but not shown: a hostile
// stream would otherwise cost a gigabyte of RGB per picture.
constexpr qint64 MaxShownPixels = 4096LL * 4096LL;

inline uchar clamp255(int v)
{
    return static_cast<uchar>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// BT.601 in 8.8 fixed point; one pass, no intermediate buffer.
void yuv420ToRgb32(const AVFrame *f, QImage *out, bool full)
{
    for (int y = 0; y < f->height; ++y) {
        const uint8_t *py = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
        const uint8_t *pu = f->data[1] + static_cast<ptrdiff_t>(y / 2) * f->linesize[1];
        const uint8_t *pv = f->data[2] + static_cast<ptrdiff_t>(y / 2) * f->linesize[2];
        auto *line = reinterpret_cast<QRgb *>(out->scanLine(y));
        for (int x = 0; x < f->width; ++x) {
            const int d = pu[x / 2] - 128;
            const int e = pv[x / 2] - 128;
            int r, g, b;
            if (full) {
                const int l = py[x] << 8;
                r = (l + 359 * e + 128) >> 8;
                g = (l - 88 * d - 183 * e + 128) >> 8;
                b = (l + 454 * d + 128) >> 8;
            } else {
                const int c = 298 * (py[x] - 16);
                r = (c + 409 * e + 128) >> 8;
                g = (c - 100 * d - 208 * e + 128) >> 8;
                b = (c + 516 * d + 128) >> 8;
            }
            line[x] = qRgb(clamp255(r), clamp255(g), clamp255(b));
        }
    }
}
} // namespace

RoomActivity::RoomActivity(QObject *parent) : QObject(parent)
{
    m_clock.start();
}

RoomActivity::~RoomActivity()
{
    av_frame_free(&m_frame);
    sws_freeContext(m_sws);
}

void RoomActivity::streamStarted(qint64 stream)
{
    if (!m_watched || stream == m_shown)
        return;
    // The newest sharer takes the screen, as in a room.
    dropPicture();
    m_shown = stream;
    emit streamChanged();
}

void RoomActivity::streamEnded(qint64 stream)
{
    if (!m_watched || stream != m_shown)
        return;
    dropPicture();
    m_shown = -1;
    emit streamChanged();
}

void RoomActivity::dropPicture()
{
    if (m_frame)
        av_frame_unref(m_frame);
    m_framePending = false;
    m_image = QImage();
    m_arrivals.clear();
    m_cursor = QPointF(-1, -1);
}

void RoomActivity::frameArrived(qint64 stream, int bytes)
{
    if (!m_watched || (stream != m_shown && m_shown >= 0))
        return;
    const qint64 now = m_clock.elapsed();
    m_arrivals.emplace_back(now, bytes);
    while (!m_arrivals.empty() && m_arrivals.front().first <= now - 1000)
        m_arrivals.pop_front();
}

QPair<double, double> RoomActivity::rates()
{
    const qint64 now = m_clock.elapsed();
    while (!m_arrivals.empty() && m_arrivals.front().first <= now - 1000)
        m_arrivals.pop_front();
    double bits = 0;
    for (const auto &a : m_arrivals)
        bits += 8.0 * a.second;
    return {static_cast<double>(m_arrivals.size()), bits};
}

void RoomActivity::offerPicture(qint64 stream, const AVFrame *picture)
{
    if (!m_watched)
        return;
    if (m_shown < 0) {
        // A stream whose descriptors were never complete still gets shown.
        m_shown = stream;
        emit streamChanged();
    }
    if (stream != m_shown)
        return;
    if (!m_frame)
        m_frame = av_frame_alloc();
    if (!m_frame)
        return;
    av_frame_unref(m_frame);
    if (av_frame_ref(m_frame, picture) < 0)
        return;
    m_framePending = true;
    emit pictureChanged();
}

bool RoomActivity::hasPicture() const
{
    return m_framePending || !m_image.isNull();
}

QSize RoomActivity::pictureSize() const
{
    if (m_framePending)
        return QSize(m_frame->width, m_frame->height);
    return m_image.size();
}

QImage RoomActivity::picture()
{
    if (m_framePending) {
        m_framePending = false;
        if (!convert())
            m_image = QImage();
        av_frame_unref(m_frame);
    }
    return m_image;
}

bool RoomActivity::convert()
{
    const int w = m_frame->width;
    const int h = m_frame->height;
    if (w <= 0 || h <= 0 || static_cast<qint64>(w) * h > MaxShownPixels) {
        events().write(QStringLiteral("display.error"),
                       {{QStringLiteral("stream"), static_cast<double>(m_shown)},
                        {QStringLiteral("error"), QStringLiteral("picture size %1x%2 not shown").arg(w).arg(h)}});
        return false;
    }
    if (m_image.size() != QSize(w, h))
        m_image = QImage(w, h, QImage::Format_RGB32);
    if (m_image.isNull())
        return false;
    const int format = m_frame->format;
    if (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) {
        yuv420ToRgb32(m_frame, &m_image, format == AV_PIX_FMT_YUVJ420P || m_frame->color_range == AVCOL_RANGE_JPEG);
        return true;
    }
    m_sws = sws_getCachedContext(m_sws, w, h, static_cast<AVPixelFormat>(format), w, h, AV_PIX_FMT_BGRA, SWS_BILINEAR,
                                 nullptr, nullptr, nullptr);
    if (!m_sws)
        return false;
    uint8_t *dst[4] = {m_image.bits(), nullptr, nullptr, nullptr};
    int stride[4] = {static_cast<int>(m_image.bytesPerLine()), 0, 0, 0};
    sws_scale(m_sws, m_frame->data, m_frame->linesize, 0, h, dst, stride);
    return true;
}

void RoomActivity::cursorMoved(qint64 stream, float x, float y)
{
    if (!m_watched || stream != m_shown)
        return;
    // Anything not a finite fraction hides the cursor instead of drawing it
    // somewhere absurd.
    if (!std::isfinite(x) || !std::isfinite(y) || x < 0 || x > 1 || y < 0 || y > 1)
        m_cursor = QPointF(-1, -1);
    else
        m_cursor = QPointF(x, y);
    emit cursorChanged();
}

void RoomActivity::sendInput(const QByteArray &command)
{
    if (m_shown >= 0)
        emit inputReady(m_shown, command);
}

void RoomActivity::sessionOpened(int session)
{
    m_sessions.insert(session);
    if (m_watched)
        emit sessionsChanged();
}

void RoomActivity::sessionClosed(int session)
{
    m_sessions.remove(session);
    m_users.remove(session);
    setFullscreen(session, false);
    if (m_watched)
        emit sessionsChanged();
}

void RoomActivity::userNamed(int session, const QString &name)
{
    if (!m_sessions.contains(session))
        return;
    // Names are shown as they come, but never at any length.
    m_users.insert(session, name.simplified().left(40));
    if (m_watched)
        emit sessionsChanged();
}

QStringList RoomActivity::users() const
{
    QStringList out;
    for (const QString &n : m_users) {
        if (!n.isEmpty())
            out.append(n);
    }
    return out;
}

void RoomActivity::setFullscreen(int session, bool on)
{
    const bool before = fullscreen();
    if (on)
        m_fullscreen.insert(session);
    else
        m_fullscreen.remove(session);
    if (m_watched && before != fullscreen())
        emit fullscreenChanged(fullscreen());
}

void RoomActivity::noteArrived(const QString &noteText)
{
    if (m_watched)
        emit noteReceived(noteText);
}

void RoomActivity::linkArrived(const QString &url)
{
    if (m_watched)
        emit linkReceived(url);
}

void RoomActivity::fileArrived(const QString &name, qint64 size, const QString &sha256)
{
    if (m_watched)
        emit fileReceived(name, size, sha256);
}
