// SPDX-License-Identifier: GPL-2.0-or-later
#include "compression/imagecompressorffmpeg.h"

#include "capture/imagegrabber.h"

#include <QLoggingCategory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

Q_LOGGING_CATEGORY(lcCompression, "glimra.compression")

ImageCompressorFFmpeg::ImageCompressorFFmpeg(QObject *pParent) : QThread(pParent)
{
    // libx264 prints statistics at every encoder close; keep warnings and errors only.
    if (av_log_get_level() > AV_LOG_WARNING)
        av_log_set_level(AV_LOG_WARNING);
    mCodec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!mCodec)
        qCWarning(lcCompression) << "no H.264 encoder in libavcodec; the stream will carry no frames";
}

ImageCompressorFFmpeg::~ImageCompressorFFmpeg()
{
    stopCompressing();
}

void ImageCompressorFFmpeg::startCompressing()
{
    if (isRunning())
        return;
    mFrameAvailable.store(false, std::memory_order_release);
    mStop.store(false);
    mLoopActive.store(true);
    start(QThread::InheritPriority);
}

void ImageCompressorFFmpeg::setImageGrabber(ImageGrabber *pGrabber)
{
    mGrabber = pGrabber;
}

bool ImageCompressorFFmpeg::isFrameAvailable()
{
    return mFrameAvailable.load(std::memory_order_acquire);
}

FrameRecord ImageCompressorFFmpeg::takeFrame()
{
    FrameRecord copy = mMailbox;
    mFrameAvailable.store(false, std::memory_order_release);
    return copy;
}

int ImageCompressorFFmpeg::getLastFrameNumber()
{
    return mLastFrameNumber.load(std::memory_order_acquire);
}

void ImageCompressorFFmpeg::stopCompressing()
{
    mStop.store(true);
    wait();
    // Orders the thread's last accesses (grabber, encoder) before the caller's
    // next step, such as destroying the grabber.
    while (mLoopActive.load(std::memory_order_acquire))
        QThread::msleep(1);
}

void ImageCompressorFFmpeg::run()
{
    while (!mStop.load()) {
        if (mFrameAvailable.load(std::memory_order_acquire) || !mGrabber || !mGrabber->isImageAvailable()) {
            QThread::msleep(1);
            continue;
        }
        const FrameRecord image = mGrabber->takeImage();
        compress(image);
    }
    closeEncoder();
    mOpenFailed = false;
    mLoopActive.store(false, std::memory_order_release);
}

void ImageCompressorFFmpeg::compress(const FrameRecord &pImage)
{
    const int width = pImage.width;
    const int height = pImage.height;
    if (width <= 0 || height <= 0 || width % 2 || height % 2 || pImage.data.size() < qint64(width) * height * 3) {
        qCWarning(lcCompression) << "dropping malformed image" << width << "x" << height << "with" << pImage.data.size()
                                 << "bytes";
        return;
    }
    if ((mContext || mOpenFailed) && (width != mEncoderWidth || height != mEncoderHeight)) {
        closeEncoder();
        mOpenFailed = false;
    }
    if (!mContext && !mOpenFailed && !openEncoder(width, height)) {
        mOpenFailed = true;
        mEncoderWidth = width;
        mEncoderHeight = height;
    }
    if (!mContext)
        return; // no encoder: the image is dropped

    const uint8_t *source[1] = {reinterpret_cast<const uint8_t *>(pImage.data.constData())};
    const int sourceStride[1] = {width * 3};
    sws_scale(mConverter, source, sourceStride, 0, height, mFrame->data, mFrame->linesize);
    mFrame->pts = pImage.frameNumber;

    if (avcodec_send_frame(mContext, mFrame) < 0)
        return;
    if (avcodec_receive_packet(mContext, mPacket) == 0) {
        mMailbox.frameNumber = pImage.frameNumber;
        mMailbox.scaleX = 1.0f;
        mMailbox.scaleY = 1.0f;
        mMailbox.width = mEncoderWidth;
        mMailbox.height = mEncoderHeight;
        mMailbox.bytesPerLine = 0;
        mMailbox.data = QByteArray(reinterpret_cast<const char *>(mPacket->data), mPacket->size);
        mMailbox.captureTime = pImage.captureTime;
        mLastFrameNumber.store(pImage.frameNumber, std::memory_order_release);
        mFrameAvailable.store(true, std::memory_order_release);
    }
    av_packet_unref(mPacket);
}

bool ImageCompressorFFmpeg::openEncoder(int pWidth, int pHeight)
{
    auto fail = [this, pWidth, pHeight](const char *pWhat) {
        if (!mFailureLogged)
            qCWarning(lcCompression) << "cannot open the H.264 encoder for" << pWidth << "x" << pHeight << ":" << pWhat
                                     << "- images are dropped";
        mFailureLogged = true;
        closeEncoder();
        return false;
    };
    if (!mCodec)
        return fail("no encoder");
    mContext = avcodec_alloc_context3(mCodec);
    if (!mContext)
        return fail("out of memory");
    mContext->bit_rate = BitRate;
    mContext->width = pWidth;
    mContext->height = pHeight;
    mContext->time_base = AVRational{1, FrameRate};
    mContext->gop_size = GopSize;
    mContext->qcompress = 1.0f;
    mContext->thread_count = Threads;
    mContext->max_b_frames = 0;
    mContext->pix_fmt = AV_PIX_FMT_YUV420P;
    av_opt_set(mContext->priv_data, "preset", "ultrafast", 0);
    av_opt_set(mContext->priv_data, "tune", "zerolatency", 0);
    // No global header: SPS and PPS stay in-band, in front of every key frame.
    if (avcodec_open2(mContext, mCodec, nullptr) < 0)
        return fail("avcodec_open2 failed");

    mFrame = av_frame_alloc();
    mPacket = av_packet_alloc();
    if (!mFrame || !mPacket)
        return fail("out of memory");
    mFrame->format = mContext->pix_fmt;
    mFrame->width = mContext->width;
    mFrame->height = mContext->height;
    if (av_image_alloc(mFrame->data, mFrame->linesize, pWidth, pHeight, AV_PIX_FMT_YUV420P, 32) < 0)
        return fail("out of memory");
    mConverter = sws_getContext(pWidth, pHeight, AV_PIX_FMT_BGR24, pWidth, pHeight, AV_PIX_FMT_YUV420P, 0, nullptr,
                                nullptr, nullptr);
    if (!mConverter)
        return fail("no BGR to YUV converter");
    mEncoderWidth = pWidth;
    mEncoderHeight = pHeight;
    qCDebug(lcCompression) << "encoder open for" << pWidth << "x" << pHeight;
    return true;
}

void ImageCompressorFFmpeg::closeEncoder()
{
    if (mContext)
        avcodec_free_context(&mContext);
    if (mFrame) {
        av_freep(&mFrame->data[0]);
        av_frame_free(&mFrame);
    }
    av_packet_free(&mPacket);
    if (mConverter) {
        sws_freeContext(mConverter);
        mConverter = nullptr;
    }
    mEncoderWidth = 0;
    mEncoderHeight = 0;
}
