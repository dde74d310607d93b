// SPDX-License-Identifier: GPL-2.0-or-later
#include "compression/imagecompressorffmpeg.h"
#include "compression/compressionlog.h"

#include "capture/imagegrabber.h"
#include "compression/packetsink.h"

#include <QLoggingCategory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {
// The encoder reads the image's planes in place; the buffer reference keeps
// them alive for as long as libavcodec holds the frame.
void releaseImage(void *pOpaque, uint8_t *)
{
    delete static_cast<QByteArray *>(pOpaque);
}
} // namespace

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
    stop();
}

void ImageCompressorFFmpeg::setImageGrabber(ImageGrabber *pGrabber)
{
    mGrabber = pGrabber;
    if (mGrabber)
        mGrabber->setSink(this);
}

void ImageCompressorFFmpeg::setFrameWanted(bool pWanted)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (pWanted == mWanted)
            return;
        mWanted = pWanted;
        if (pWanted) {
            // Whatever was grabbed while nobody wanted it is stale now.
            mFreshFrom = mLastRequest + 1;
            mOutstanding = false;
        }
    }
    mWake.notify_one();
}

void ImageCompressorFFmpeg::requestKeyFrame()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mKeyRequested = true;
    }
    mWake.notify_one();
}

quint64 ImageCompressorFFmpeg::skippedImages()
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mSlot.skipped();
}

void ImageCompressorFFmpeg::push(const FrameRecord &pImage)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mSlot.put(pImage);
        if (pImage.request >= mLastRequest)
            mOutstanding = false;
    }
    mWake.notify_one();
}

void ImageCompressorFFmpeg::start()
{
    if (isRunning())
        return;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = false;
        mSlot.clear();
        mOutstanding = false;
        mFreshFrom = mLastRequest + 1;
    }
    QThread::start(QThread::InheritPriority);
}

void ImageCompressorFFmpeg::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mStop = true;
    }
    mWake.notify_one();
}

void ImageCompressorFFmpeg::waitForStop()
{
    wait();
    // Taking the mutex orders the thread's last accesses (grabber, encoder,
    // sink) before the caller's next step, such as destroying the grabber.
    std::lock_guard<std::mutex> lock(mMutex);
    mSlot.clear();
}

void ImageCompressorFFmpeg::stop()
{
    requestStop();
    waitForStop();
}

bool ImageCompressorFFmpeg::nextImage(FrameRecord &pImage, bool &pKey, int pStillCount)
{
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        if (mStop)
            return false;
        const Clock::time_point now = Clock::now();
        if (!mWanted || !mGrabber) {
            mWake.wait(lock);
            continue;
        }
        const bool keyDue = mKeyRequested && now >= mLastForcedKey + milliseconds(MinForcedKeyGapMs);
        if (mSlot.isFull() && mSlot.request() >= mFreshFrom) {
            pImage = mSlot.take();
            pKey = keyDue;
            if (keyDue) {
                mKeyRequested = false;
                mLastForcedKey = now;
            }
            return true;
        }
        // When the next grab starts: at once while the picture moves or a key
        // frame is due; on a still picture, in time for the next keep-alive
        // frame, and sooner when the picture changes: at once with a grabber
        // told of changes, else at the idle pace.
        Clock::time_point grabAt = now;
        const bool still = pStillCount > TopOffFrames && !keyDue;
        if (still) {
            const Clock::time_point keepAlive =
                mLastEncode + milliseconds(KeepAliveFrameMs) - microseconds(mGrabber->grabMicros());
            grabAt = mGrabber->wakesOnChange() ? std::max(now, keepAlive)
                                               : std::max(now, std::min(mGrabAt + milliseconds(IdleGrabMs), keepAlive));
            if (mKeyRequested)
                grabAt = std::min(grabAt, std::max(now, mLastForcedKey + milliseconds(MinForcedKeyGapMs)));
        }
        if (!mOutstanding || grabAt < mGrabAt) {
            mLastRequest = mGrabber->requestImage(grabAt, still);
            mGrabAt = grabAt;
            mOutstanding = true;
        }
        if (mKeyRequested && !keyDue)
            mWake.wait_until(lock, mLastForcedKey + milliseconds(MinForcedKeyGapMs));
        else
            mWake.wait(lock);
    }
}

void ImageCompressorFFmpeg::run()
{
    int stillCount = 0;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mLastEncode = Clock::time_point();
        mGrabAt = Clock::now();
    }
    FrameRecord image;
    bool key = false;
    while (nextImage(image, key, stillCount)) {
        stillCount = image.changed ? 0 : stillCount + 1;
        const Clock::time_point now = Clock::now();
        bool encode;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            // Moving or topping off: the next grab is asked for now, timed to
            // complete as this encode ends.
            if (stillCount < TopOffFrames && mWanted && mGrabber) {
                const qint64 lead = qMax<qint64>(0, mEncodeMicros - mGrabber->grabMicros() - 500);
                mGrabAt = now + microseconds(lead);
                mLastRequest = mGrabber->requestImage(mGrabAt);
                mOutstanding = true;
            }
            // A keep-alive frame is due within the idle grab's granularity.
            encode = key || stillCount <= TopOffFrames ||
                     now + milliseconds(2) >= mLastEncode + milliseconds(KeepAliveFrameMs);
            if (encode)
                mLastEncode = now;
        }
        if (encode) {
            const Clock::time_point started = Clock::now();
            compress(image, key);
            const qint64 took = std::chrono::duration_cast<microseconds>(Clock::now() - started).count();
            mEncodeMicros = mEncodeMicros == 0 ? took : (mEncodeMicros * 7 + took) / 8;
        }
        image = FrameRecord();
    }
    closeEncoder();
    if (mSink)
        mSink->close();
    mOpenFailed = false;
    // The last act under the mutex that waitForStop() takes.
    std::lock_guard<std::mutex> lock(mMutex);
}

void ImageCompressorFFmpeg::compress(const FrameRecord &pImage, bool pKey)
{
    const int width = pImage.width;
    const int height = pImage.height;
    if (width <= 0 || height <= 0 || width % 2 || height % 2 ||
        pImage.data.size() < FrameRecord::planesSize(width, height)) {
        qCWarning(lcCompression) << "dropping malformed image" << width << "x" << height << "with" << pImage.data.size()
                                 << "bytes";
        return;
    }
    if ((mContext || mOpenFailed) && (width != mEncoderWidth || height != mEncoderHeight)) {
        closeEncoder();
        if (mSink && !mOpenFailed)
            mSink->close();
        mOpenFailed = false;
    }
    if (!mContext && !mOpenFailed) {
        if (openEncoder(width, height)) {
            if (mSink)
                mSink->open(width, height);
        } else {
            mOpenFailed = true;
            mEncoderWidth = width;
            mEncoderHeight = height;
        }
    }
    if (!mContext)
        return; // no encoder: the image is dropped

    av_frame_unref(mFrame);
    mFrame->format = AV_PIX_FMT_YUV420P;
    mFrame->width = width;
    mFrame->height = height;
    auto *planes = new QByteArray(pImage.data);
    mFrame->buf[0] = av_buffer_create(reinterpret_cast<uint8_t *>(const_cast<char *>(planes->constData())),
                                      planes->size(), &releaseImage, planes, AV_BUFFER_FLAG_READONLY);
    if (!mFrame->buf[0]) {
        delete planes;
        return;
    }
    mFrame->data[0] = const_cast<uint8_t *>(pImage.y());
    mFrame->data[1] = const_cast<uint8_t *>(pImage.u());
    mFrame->data[2] = const_cast<uint8_t *>(pImage.v());
    mFrame->linesize[0] = width;
    mFrame->linesize[1] = width / 2;
    mFrame->linesize[2] = width / 2;
    mFrame->pts = pImage.frameNumber;
    mFrame->pict_type = pKey ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;

    const int sent = avcodec_send_frame(mContext, mFrame);
    av_frame_unref(mFrame);
    if (sent < 0)
        return;
    if (avcodec_receive_packet(mContext, mPacket) == 0) {
        EncodedPacket packet;
        packet.frameNumber = pImage.frameNumber;
        packet.width = mEncoderWidth;
        packet.height = mEncoderHeight;
        packet.keyFrame = (mPacket->flags & AV_PKT_FLAG_KEY) != 0;
        packet.data = QByteArray(reinterpret_cast<const char *>(mPacket->data), mPacket->size);
        packet.captureTime = pImage.captureTime;
        av_packet_unref(mPacket);
        if (packet.keyFrame) {
            // Every receiver waiting for a key frame takes this one.
            std::lock_guard<std::mutex> lock(mMutex);
            mKeyRequested = false;
        }
        if (mSink)
            mSink->push(packet);
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
    // A key frame asked for (a receiver joined) is an IDR, which resets the references.
    av_opt_set(mContext->priv_data, "forced-idr", "1", 0);
    // No global header: SPS and PPS stay in-band, in front of every key frame.
    if (avcodec_open2(mContext, mCodec, nullptr) < 0)
        return fail("avcodec_open2 failed");

    mFrame = av_frame_alloc();
    mPacket = av_packet_alloc();
    if (!mFrame || !mPacket)
        return fail("out of memory");
    mEncoderWidth = pWidth;
    mEncoderHeight = pHeight;
    qCDebug(lcCompression) << "encoder open for" << pWidth << "x" << pHeight;
    return true;
}

void ImageCompressorFFmpeg::closeEncoder()
{
    if (mContext)
        avcodec_free_context(&mContext);
    av_frame_free(&mFrame);
    av_packet_free(&mPacket);
    mEncoderWidth = 0;
    mEncoderHeight = 0;
}
