// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "compression/imagecompressor.h"

#include <QThread>
#include <atomic>

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// H.264 compressor on libavcodec's x264 encoder: takes each image from the
// grabber, converts BGR to YUV 4:2:0 and publishes one packet per image.
// The encoder opens lazily for the image size and reopens when it changes;
// parameter sets travel in-band, so each open starts with a key frame carrying them.
//
// Threads: run() is the compressor thread; start/stop/setImageGrabber on the
// GUI thread; the mailbox getters on the single consumer thread.
class ImageCompressorFFmpeg : public QThread, public ImageCompressor {
    Q_OBJECT
public:
    // Fixed encoder settings.
    static constexpr long BitRate = 5000000;
    static constexpr int FrameRate = 25;
    static constexpr int GopSize = 25;
    static constexpr int Threads = 4;

    explicit ImageCompressorFFmpeg(QObject *pParent = nullptr);
    ~ImageCompressorFFmpeg() override;

    void startCompressing() override;
    void setImageGrabber(ImageGrabber *pGrabber) override;
    bool isFrameAvailable() override;
    FrameRecord takeFrame() override;
    int getLastFrameNumber() override;
    void stopCompressing() override;
    int getCodec() override { return 1; }

protected:
    void run() override;

private:
    bool openEncoder(int pWidth, int pHeight);
    void closeEncoder();
    void compress(const FrameRecord &pImage);

    ImageGrabber *mGrabber = nullptr;
    std::atomic<bool> mFrameAvailable{false};
    FrameRecord mMailbox;
    std::atomic<int> mLastFrameNumber{-1};
    std::atomic<bool> mStop{false};
    std::atomic<bool> mLoopActive{false}; // cleared (release) as the thread's last act

    // Compressor thread only.
    const AVCodec *mCodec = nullptr;
    AVCodecContext *mContext = nullptr;
    AVFrame *mFrame = nullptr;
    AVPacket *mPacket = nullptr;
    SwsContext *mConverter = nullptr;
    int mEncoderWidth = 0;
    int mEncoderHeight = 0;
    bool mOpenFailed = false; // an open for this size failed; retried on a new size
    bool mFailureLogged = false;
};
