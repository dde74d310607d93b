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
// Larger pictures are still decoded and logged, but not shown: scaling
// them would hold the GUI thread for a long while per picture.
constexpr qint64 MaxShownPixels = 8192LL * 8192LL;
// Largest size a picture is scaled to for the window.
constexpr int MaxShownSide = 4096;
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
    m_frameNew = false;
    m_tooLargeLogged = false;
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
    m_frameNew = true;
    emit pictureChanged();
}

bool RoomActivity::hasPicture() const
{
    return m_frame && m_frame->buf[0];
}

QSize RoomActivity::pictureSize() const
{
    return hasPicture() ? QSize(m_frame->width, m_frame->height) : QSize();
}

QImage RoomActivity::picture(const QSize &target, QRect *source)
{
    if (!hasPicture() || target.isEmpty())
        return QImage();
    // Scaled once per picture (or per window size), to the size it is shown
    // at: converting the full picture and letting the painter scale it costs
    // several times more.
    QSize size = target.boundedTo(QSize(MaxShownSide, MaxShownSide));
    // libswscale 5.1 leaves the last pixels of 4:2:0 to RGB rows wrong when
    // the width is not a multiple of 8; the painter stretches the few pixels.
    size.setWidth(qMax(8, size.width() / 8 * 8));
    if (m_frameNew || size != m_image.size()) {
        m_frameNew = false;
        if (!convert(size))
            m_image = QImage();
    }
    *source = m_image.rect();
    return m_image;
}

bool RoomActivity::convert(const QSize &size)
{
    const int w = m_frame->width;
    const int h = m_frame->height;
    if (w <= 0 || h <= 0 || static_cast<qint64>(w) * h > MaxShownPixels) {
        if (!m_tooLargeLogged)
            events().write(QStringLiteral("display.error"),
                           {{QStringLiteral("stream"), static_cast<double>(m_shown)},
                            {QStringLiteral("error"), QStringLiteral("picture size %1x%2 not shown").arg(w).arg(h)}});
        m_tooLargeLogged = true;
        return false;
    }
    if (m_image.size() != size)
        m_image = QImage(size, QImage::Format_RGB32);
    if (m_image.isNull())
        return false;
    const auto format = static_cast<AVPixelFormat>(m_frame->format);
    m_sws = sws_getCachedContext(m_sws, w, h, format, size.width(), size.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR,
                                 nullptr, nullptr, nullptr);
    if (!m_sws)
        return false;
    // Limited or full range as the stream says; the screen is full range.
    int *inverse = nullptr, *table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(m_sws, &inverse, &srcRange, &table, &dstRange, &brightness, &contrast, &saturation) >=
        0) {
        const bool full = srcRange || m_frame->color_range == AVCOL_RANGE_JPEG;
        sws_setColorspaceDetails(m_sws, sws_getCoefficients(SWS_CS_ITU601), full ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_ITU601), 1, brightness, contrast, saturation);
    }
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
