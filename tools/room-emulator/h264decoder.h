// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// libavcodec's H.264 decoder for one video connection. Each call feeds one
// access unit and hands back the pictures it released (usually one).
class H264Decoder {
public:
    H264Decoder();
    ~H264Decoder();
    H264Decoder(const H264Decoder &) = delete;
    H264Decoder &operator=(const H264Decoder &) = delete;

    bool isValid() const { return m_context != nullptr; }
    QString error() const { return m_error; }

    // Returns false when the decoder rejected the packet (error() says why);
    // onPicture is called for every decoded picture, valid only during the call.
    bool decode(const char *data, int size, const std::function<void(const AVFrame *)> &onPicture);

    // Drains the pictures the decoder still holds (reordering delay) at the
    // end of a stream.
    void flush(const std::function<void(const AVFrame *)> &onPicture);

    // Mean luma (0-255) of a block of a picture, -1 when outside or not YUV.
    static int meanLuma(const AVFrame *picture, const QRect &block);
    // A copy of the picture as RGB, for dumps.
    QImage toImage(const AVFrame *picture);

private:
    AVCodecContext *m_context = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    SwsContext *m_sws = nullptr;
    QString m_error;
};

// True when the Annex B packet holds an IDR slice (NAL type 5).
bool isKeyFramePacket(const char *data, int size);
