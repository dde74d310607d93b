// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// A grabber that paints a known pattern instead of reading a screen, so the
// compressor and the clients can be tested without a display. The pattern
// stays still until the test moves it.

#include "capture/colourconversion.h"
#include "capture/imagegrabber.h"

#include <QByteArray>
#include <atomic>

class FakeGrabber : public ImageGrabber {
public:
    FakeGrabber(int pWidth, int pHeight) : mWidth(pWidth), mHeight(pHeight) {}
    ~FakeGrabber() override { stop(); }

    void setSize(int pWidth, int pHeight)
    {
        mWidth = pWidth;
        mHeight = pHeight;
    }
    // Shifts the pattern: the next grab differs from the last one.
    void move() { ++mPhase; }
    // Moves the pattern on every grab.
    void setMoving(bool pMoving) { mMoving = pMoving; }
    int grabs() const { return mGrabs.load(); }

    void setScreenIndex(int) override {}
    QString getScreenName() override { return QStringLiteral("FAKE-0"); }
    int getScreenWidth() override { return mWidth; }
    int getScreenHeight() override { return mHeight; }
    bool isScreenCountChanged() override { return false; }

    // The pattern: smooth gradients and large blocks, B G R per pixel.
    static QByteArray pattern(int pWidth, int pHeight, int pPhase = 0)
    {
        QByteArray image(pWidth * pHeight * 3, Qt::Uninitialized);
        paint(reinterpret_cast<uchar *>(image.data()), pWidth, pHeight, pPhase);
        return image;
    }
    static void paint(uchar *pOut, int pWidth, int pHeight, int pPhase)
    {
        for (int y = 0; y < pHeight; ++y) {
            for (int x = 0; x < pWidth; ++x) {
                uchar *p = pOut + (y * pWidth + x) * 3;
                const bool block = (((x + pPhase * 8) / 64) + (y / 64)) % 2;
                p[0] = uchar(x * 255 / qMax(1, pWidth - 1));
                p[1] = uchar(y * 255 / qMax(1, pHeight - 1));
                p[2] = block ? 200 : 40;
            }
        }
    }

protected:
    Grab grab(FrameRecord &pImage) override
    {
        const int width = mWidth, height = mHeight;
        if (mMoving)
            ++mPhase;
        const int phase = mPhase;
        if (width != mPaintedWidth || height != mPaintedHeight || phase != mPaintedPhase) {
            mBgr = pattern(width, height, phase);
            mPaintedWidth = width;
            mPaintedHeight = height;
            mPaintedPhase = phase;
        }
        ColourConversion::bgrToI420(reinterpret_cast<const uchar *>(mBgr.constData()), width * 3, width, height,
                                    planesBuffer(pImage, width, height));
        pImage.width = width;
        pImage.height = height;
        ++mGrabs;
        return Grab::Grabbed;
    }

private:
    std::atomic<int> mWidth;
    std::atomic<int> mHeight;
    std::atomic<int> mPhase{0};
    std::atomic<bool> mMoving{false};
    std::atomic<int> mGrabs{0};
    // Grab thread only.
    QByteArray mBgr;
    int mPaintedWidth = 0, mPaintedHeight = 0, mPaintedPhase = -1;
};
