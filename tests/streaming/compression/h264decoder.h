// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// libavcodec's H.264 decoder as the judge of encoded packets (tests).

#include <QByteArray>
#include <QList>
#include <cmath>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
}

class H264Decoder {
public:
    H264Decoder()
    {
        const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        mContext = avcodec_alloc_context3(codec);
        avcodec_open2(mContext, codec, nullptr);
        mPacket = av_packet_alloc();
        mFrame = av_frame_alloc();
    }
    ~H264Decoder()
    {
        av_frame_free(&mFrame);
        av_packet_free(&mPacket);
        avcodec_free_context(&mContext);
    }
    H264Decoder(const H264Decoder &) = delete;
    H264Decoder &operator=(const H264Decoder &) = delete;

    // Decodes one packet; on a picture, `bgr` receives it as B G R rows.
    bool decode(const QByteArray &pPacket, QByteArray &pBgr, int &pWidth, int &pHeight)
    {
        mPacket->data = reinterpret_cast<uint8_t *>(const_cast<char *>(pPacket.constData()));
        mPacket->size = pPacket.size();
        const int sent = avcodec_send_packet(mContext, mPacket);
        mPacket->data = nullptr;
        mPacket->size = 0;
        if (sent < 0 || avcodec_receive_frame(mContext, mFrame) < 0)
            return false;
        pWidth = mFrame->width;
        pHeight = mFrame->height;
        // Plain BT.601 (limited range) conversion: libswscale's SIMD YUV to BGR path
        // garbles rows whose width is not a multiple of 8 (1364, for one).
        pBgr = QByteArray(pWidth * pHeight * 3, Qt::Uninitialized);
        auto clamp = [](double v) { return uchar(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); };
        for (int y = 0; y < pHeight; ++y) {
            const uint8_t *py = mFrame->data[0] + y * mFrame->linesize[0];
            const uint8_t *pu = mFrame->data[1] + (y / 2) * mFrame->linesize[1];
            const uint8_t *pv = mFrame->data[2] + (y / 2) * mFrame->linesize[2];
            uchar *out = reinterpret_cast<uchar *>(pBgr.data()) + y * pWidth * 3;
            for (int x = 0; x < pWidth; ++x) {
                const double c = 1.164383 * (py[x] - 16), d = pu[x / 2] - 128, e = pv[x / 2] - 128;
                out[3 * x + 0] = clamp(c + 2.017232 * d);
                out[3 * x + 1] = clamp(c - 0.391762 * d - 0.812968 * e);
                out[3 * x + 2] = clamp(c + 1.596027 * e);
            }
        }
        av_frame_unref(mFrame);
        return true;
    }

    // NAL unit types present in an Annex B packet (5 IDR slice, 7 SPS, 8 PPS).
    static QList<int> nalTypes(const QByteArray &pPacket)
    {
        QList<int> types;
        const auto *d = reinterpret_cast<const uchar *>(pPacket.constData());
        for (int i = 0; i + 3 < pPacket.size(); ++i) {
            if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
                types.append(d[i + 3] & 0x1F);
                i += 3;
            }
        }
        return types;
    }

    static double psnr(const QByteArray &pA, const QByteArray &pB)
    {
        if (pA.size() != pB.size() || pA.isEmpty())
            return 0;
        double sum = 0;
        for (int i = 0; i < pA.size(); ++i) {
            const double d = double(uchar(pA[i])) - double(uchar(pB[i]));
            sum += d * d;
        }
        const double mse = sum / pA.size();
        return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
    }

private:
    AVCodecContext *mContext = nullptr;
    AVPacket *mPacket = nullptr;
    AVFrame *mFrame = nullptr;
};
