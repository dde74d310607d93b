// SPDX-License-Identifier: GPL-2.0-or-later
#include "h264decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace {
QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return QString::fromUtf8(text);
}
} // namespace

H264Decoder::H264Decoder()
{
    // Decode problems are reported as events; libav's own chatter would only
    // bury them on stderr.
    av_log_set_level(AV_LOG_FATAL);
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        m_error = QStringLiteral("no H.264 decoder in libavcodec");
        return;
    }
    m_context = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_context || !m_frame || !m_packet) {
        m_error = QStringLiteral("out of memory");
        avcodec_free_context(&m_context);
        return;
    }
    // One thread: frame threading would hold pictures back and blur the
    // arrival-to-picture timing that benchmarks read from the events.
    m_context->thread_count = 1;
    const int rc = avcodec_open2(m_context, codec, nullptr);
    if (rc < 0) {
        m_error = avError(rc);
        avcodec_free_context(&m_context);
    }
}

H264Decoder::~H264Decoder()
{
    sws_freeContext(m_sws);
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_context);
}

bool H264Decoder::decode(const char *data, int size, const std::function<void(const AVFrame *)> &onPicture)
{
    if (!m_context)
        return false;
    // The decoder reads a little past the end, so it gets its own padded copy.
    if (av_new_packet(m_packet, size) < 0) {
        m_error = QStringLiteral("out of memory");
        return false;
    }
    std::memcpy(m_packet->data, data, static_cast<size_t>(size));
    int rc = avcodec_send_packet(m_context, m_packet);
    av_packet_unref(m_packet);
    bool ok = true;
    if (rc < 0 && rc != AVERROR(EAGAIN)) {
        m_error = avError(rc);
        ok = false;
    }
    for (;;) {
        rc = avcodec_receive_frame(m_context, m_frame);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            break;
        if (rc < 0) {
            m_error = avError(rc);
            ok = false;
            break;
        }
        onPicture(m_frame);
        av_frame_unref(m_frame);
    }
    return ok;
}

void H264Decoder::flush(const std::function<void(const AVFrame *)> &onPicture)
{
    if (!m_context || avcodec_send_packet(m_context, nullptr) < 0)
        return;
    while (avcodec_receive_frame(m_context, m_frame) >= 0) {
        onPicture(m_frame);
        av_frame_unref(m_frame);
    }
}

int H264Decoder::meanLuma(const AVFrame *picture, const QRect &block)
{
    const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
    if (!desc || (desc->flags & AV_PIX_FMT_FLAG_RGB) || desc->comp[0].depth != 8 || desc->comp[0].step != 1)
        return -1;
    const QRect r = block.intersected(QRect(0, 0, picture->width, picture->height));
    if (r.isEmpty() || r != block)
        return -1;
    quint64 sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uint8_t *row = picture->data[0] + static_cast<ptrdiff_t>(y) * picture->linesize[0];
        for (int x = r.left(); x <= r.right(); ++x)
            sum += row[x];
    }
    const quint64 count = static_cast<quint64>(r.width()) * static_cast<quint64>(r.height());
    int mean = static_cast<int>((sum + count / 2) / count);
    // Limited-range pictures (16-235) are stretched to full range.
    if (picture->color_range != AVCOL_RANGE_JPEG && picture->format != AV_PIX_FMT_YUVJ420P &&
        picture->format != AV_PIX_FMT_YUVJ444P && picture->format != AV_PIX_FMT_YUVJ422P)
        mean = qBound(0, (mean - 16) * 255 / 219, 255);
    return mean;
}

QImage H264Decoder::toImage(const AVFrame *picture)
{
    QImage image(picture->width, picture->height, QImage::Format_RGB888);
    if (image.isNull())
        return image;
    if (picture->format == AV_PIX_FMT_YUV420P || picture->format == AV_PIX_FMT_YUVJ420P) {
        // A plain BT.601 loop: libswscale 5.1 garbles 4:2:0 to RGB at widths
        // that are not a multiple of 8.
        const bool full = picture->format == AV_PIX_FMT_YUVJ420P || picture->color_range == AVCOL_RANGE_JPEG;
        for (int y = 0; y < picture->height; ++y) {
            const uint8_t *py = picture->data[0] + static_cast<ptrdiff_t>(y) * picture->linesize[0];
            const uint8_t *pu = picture->data[1] + static_cast<ptrdiff_t>(y / 2) * picture->linesize[1];
            const uint8_t *pv = picture->data[2] + static_cast<ptrdiff_t>(y / 2) * picture->linesize[2];
            uchar *out = image.scanLine(y);
            for (int x = 0; x < picture->width; ++x) {
                const double l = full ? py[x] : (py[x] - 16) * 255.0 / 219.0;
                const double scale = full ? 1.0 : 255.0 / 224.0;
                const double u = (pu[x / 2] - 128) * scale;
                const double v = (pv[x / 2] - 128) * scale;
                out[3 * x] = static_cast<uchar>(qBound(0.0, l + 1.402 * v, 255.0));
                out[3 * x + 1] = static_cast<uchar>(qBound(0.0, l - 0.344136 * u - 0.714136 * v, 255.0));
                out[3 * x + 2] = static_cast<uchar>(qBound(0.0, l + 1.772 * u, 255.0));
            }
        }
        return image;
    }
    m_sws = sws_getCachedContext(m_sws, picture->width, picture->height, static_cast<AVPixelFormat>(picture->format),
                                 picture->width, picture->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr,
                                 nullptr);
    if (!m_sws)
        return QImage();
    uint8_t *dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(m_sws, picture->data, picture->linesize, 0, picture->height, dst, dstStride);
    return image;
}

bool isKeyFramePacket(const char *data, int size)
{
    const auto *b = reinterpret_cast<const unsigned char *>(data);
    for (int i = 0; i + 3 < size; ++i) {
        // 00 00 01 starts a NAL unit (a 4-byte start code ends in the same three bytes).
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
            const int type = b[i + 3] & 0x1f;
            if (type == 5)
                return true;
            i += 2;
        }
    }
    return false;
}
