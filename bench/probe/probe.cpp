// SPDX-License-Identifier: GPL-2.0-or-later
// Reads a NUT stream from standard input (FFmpeg's output), decodes every
// packet with libavcodec as soon as it has arrived, and prints one line per
// picture: "frame <decoded monotonic µs> <latency µs or -1>".
#include "timestamp.h"

#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

int main()
{
    AVFormatContext *format = nullptr;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "probesize", "32", 0);
    av_dict_set(&options, "fflags", "nobuffer", 0);
    if (avformat_open_input(&format, "pipe:0", av_find_input_format("nut"), &options) < 0) {
        std::fprintf(stderr, "probe: cannot open the input\n");
        return 1;
    }
    av_dict_free(&options);
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext *decoder = avcodec_alloc_context3(codec);
    // FFmpeg puts the parameter sets into the stream header for NUT.
    if (format->nb_streams > 0)
        avcodec_parameters_to_context(decoder, format->streams[0]->codecpar);
    if (avcodec_open2(decoder, codec, nullptr) < 0)
        return 1;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    while (av_read_frame(format, packet) >= 0) {
        if (avcodec_send_packet(decoder, packet) == 0) {
            while (avcodec_receive_frame(decoder, frame) == 0) {
                const int64_t done = benchstamp::monotonicMicros();
                uint32_t stamp = 0;
                const bool ok = frame->height >= 2 * benchstamp::BlockHeight &&
                                frame->width >= benchstamp::Bits * benchstamp::BlockWidth &&
                                benchstamp::readStamp(frame->data[0], frame->linesize[0], stamp);
                std::printf("frame %lld %lld\n", static_cast<long long>(done),
                            ok ? static_cast<long long>(benchstamp::latencyMicros(stamp, done)) : -1LL);
                std::fflush(stdout);
                av_frame_unref(frame);
            }
        }
        av_packet_unref(packet);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return 0;
}
