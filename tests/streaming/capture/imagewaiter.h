// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The consumer side of a grabber for tests: asks for an image and waits for
// it, and reads the YUV 4:2:0 records back as colours.

#include "capture/colourconversion.h"
#include "capture/imagegrabber.h"
#include "capture/imagesink.h"

#include <QColor>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <mutex>

class ImageWaiter : public ImageSink {
public:
    explicit ImageWaiter(ImageGrabber &pGrabber) : mGrabber(pGrabber) { mGrabber.setSink(this); }
    ~ImageWaiter() override
    {
        mGrabber.stop();
        mGrabber.setSink(nullptr);
    }

    void open() override {}
    void close() override {}
    void push(const FrameRecord &pImage) override
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mImages.append(pImage);
    }
    int count()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mImages.size();
    }

    // Asks for one image now and waits for the image answering it.
    FrameRecord next(int pTimeoutMs = 10000)
    {
        return answer(mGrabber.requestImage(ImageGrabber::Clock::now()), pTimeoutMs);
    }

    // Waits for the image answering pRequest (empty when none came in time).
    FrameRecord answer(quint64 pRequest, int pTimeoutMs)
    {
        const quint64 request = pRequest;
        FrameRecord found;
        const bool answered = QTest::qWaitFor(
            [&] {
                std::lock_guard<std::mutex> lock(mMutex);
                while (!mImages.isEmpty()) {
                    found = mImages.takeFirst();
                    if (found.request >= request)
                        return true;
                }
                found = FrameRecord();
                return false;
            },
            pTimeoutMs);
        return answered ? found : FrameRecord();
    }

private:
    ImageGrabber &mGrabber;
    std::mutex mMutex;
    QList<FrameRecord> mImages;
};

// The colour of pixel (x, y), back from BT.601 limited-range YUV.
inline QColor pixelAt(const FrameRecord &pRecord, int pX, int pY)
{
    const double y = 1.164383 * (pRecord.y()[pY * pRecord.width + pX] - 16);
    const int c = (pY / 2) * (pRecord.width / 2) + pX / 2;
    const double u = pRecord.u()[c] - 128, v = pRecord.v()[c] - 128;
    auto clamp = [](double pValue) { return int(std::lround(qBound(0.0, pValue, 255.0))); };
    return QColor(clamp(y + 1.596027 * v), clamp(y - 0.391762 * u - 0.812968 * v), clamp(y + 2.017232 * u));
}

// Colours equal up to the rounding of the conversion.
inline bool near(const QColor &pA, const QColor &pB, int pTolerance = 6)
{
    return qAbs(pA.red() - pB.red()) <= pTolerance && qAbs(pA.green() - pB.green()) <= pTolerance &&
           qAbs(pA.blue() - pB.blue()) <= pTolerance;
}

// Every pixel of the record is the YUV of this B, G, R.
inline bool uniformly(const FrameRecord &pRecord, const char *pBgr)
{
    if (pRecord.width <= 0 || pRecord.data.size() != FrameRecord::planesSize(pRecord.width, pRecord.height))
        return false;
    uchar block[2 * 2 * 3];
    for (int i = 0; i < 4; ++i)
        std::memcpy(block + i * 3, pBgr, 3);
    uchar planes[6];
    ColourConversion::bgrToI420(block, 6, 2, 2, planes);
    const qint64 luma = qint64(pRecord.width) * pRecord.height;
    for (qint64 i = 0; i < pRecord.data.size(); ++i) {
        const uchar expected = i < luma ? planes[0] : i < luma + luma / 4 ? planes[4] : planes[5];
        if (uchar(pRecord.data[int(i)]) != expected)
            return false;
    }
    return true;
}
