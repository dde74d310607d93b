// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "capture/imagesink.h"
#include "compression/imagecompressor.h"
#include "compression/latestimageslot.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// H.264 compressor on libavcodec's x264 encoder. It takes the grabber's YUV
// images and hands one packet per encoded image to its sink. The encoder
// opens lazily for the image size and reopens when it changes; parameter sets
// travel in-band, in front of every key frame.
//
// Pacing: while receivers want frames and the picture moves, the next grab is
// asked for so that it completes as this encode ends (grab on demand, no image
// waits for the encoder). When the picture stops changing, TopOffFrames more
// images are encoded so the picture sharpens; then the grabber only looks for
// changes every IdleGrabMs and one frame goes out every KeepAliveFrameMs.
//
// Threads: run() is the compressor thread and calls the packet sink; push()
// comes from the grab thread; the rest as ImageCompressor says.
class ImageCompressorFFmpeg : public QThread, public ImageCompressor, public ImageSink {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    // Fixed encoder settings.
    static constexpr long BitRate = 5000000;
    static constexpr int FrameRate = 25;
    static constexpr int GopSize = 25;
    static constexpr int Threads = 4;
    // Pacing of a still picture.
    static constexpr int TopOffFrames = 10;
    static constexpr int IdleGrabMs = 40;
    static constexpr int KeepAliveFrameMs = 400;
    // Forced key frames at most this often (several receivers at different paces).
    static constexpr int MinForcedKeyGapMs = 250;

    explicit ImageCompressorFFmpeg(QObject *pParent = nullptr);
    ~ImageCompressorFFmpeg() override;

    void setImageGrabber(ImageGrabber *pGrabber) override;
    void setPacketSink(PacketSink *pSink) override { mSink = pSink; }
    int getCodec() override { return 1; }
    void setFrameWanted(bool pWanted) override;
    void requestKeyFrame() override;
    void start() override;
    void requestStop() override;
    void waitForStop() override;
    void stop() override;

    // Images the encoder never saw because a newer one replaced them.
    quint64 skippedImages();

    // ImageSink, from the grab thread.
    void open() override {}
    void push(const FrameRecord &pImage) override;
    void close() override {}

protected:
    void run() override;

private:
    bool nextImage(FrameRecord &pImage, bool &pKey, int pStillCount); // false on stop
    bool openEncoder(int pWidth, int pHeight);
    void closeEncoder();
    void compress(const FrameRecord &pImage, bool pKey);

    ImageGrabber *mGrabber = nullptr;
    PacketSink *mSink = nullptr;

    // Guarded by mMutex; mWake wakes the compressor thread.
    std::mutex mMutex;
    std::condition_variable mWake;
    LatestImageSlot mSlot;
    bool mStop = false;
    bool mWanted = false;
    bool mKeyRequested = false;
    bool mOutstanding = false; // a grab was asked for and has not arrived
    quint64 mLastRequest = 0;  // number of the last grab request
    quint64 mFreshFrom = 0;    // images of earlier requests are stale
    Clock::time_point mGrabAt; // when the outstanding grab starts
    Clock::time_point mLastEncode;
    Clock::time_point mLastForcedKey;

    // Compressor thread only.
    qint64 mEncodeMicros = 0; // running mean of one encode
    const AVCodec *mCodec = nullptr;
    AVCodecContext *mContext = nullptr;
    AVFrame *mFrame = nullptr;
    AVPacket *mPacket = nullptr;
    int mEncoderWidth = 0;
    int mEncoderHeight = 0;
    bool mOpenFailed = false; // an open for this size failed; retried on a new size
    bool mFailureLogged = false;
};
