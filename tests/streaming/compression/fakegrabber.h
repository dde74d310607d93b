// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// A grabber that paints a known pattern instead of reading a screen, so the
// compressor and the clients can be tested without a display.

#include "capture/imagegrabber.h"

#include <QByteArray>
#include <atomic>

class FakeGrabber : public ImageGrabber {
public:
    FakeGrabber(int pWidth, int pHeight) : mWidth(pWidth), mHeight(pHeight) {}
    ~FakeGrabber() override { stopGrabbing(); }

    void setSize(int pWidth, int pHeight)
    {
        mWidth = pWidth;
        mHeight = pHeight;
    }
    int published() const { return mPublished.load(); }
    int takes() const { return mTakes.load(); }

    void setScreenIndex(int) override {}
    QString getScreenName() override { return QStringLiteral("FAKE-0"); }
    int getScreenWidth() override { return mWidth; }
    int getScreenHeight() override { return mHeight; }
    bool isScreenCountChanged() override { return false; }
    FrameRecord takeImage() override
    {
        ++mTakes;
        return ImageGrabber::takeImage();
    }

    // The pattern: smooth gradients and large blocks, B G R per pixel.
    static QByteArray pattern(int pWidth, int pHeight)
    {
        QByteArray image(pWidth * pHeight * 3, Qt::Uninitialized);
        paint(reinterpret_cast<uchar *>(image.data()), pWidth, pHeight);
        return image;
    }
    static void paint(uchar *pOut, int pWidth, int pHeight)
    {
        for (int y = 0; y < pHeight; ++y) {
            for (int x = 0; x < pWidth; ++x) {
                uchar *p = pOut + (y * pWidth + x) * 3;
                const bool block = ((x / 64) + (y / 64)) % 2;
                p[0] = uchar(x * 255 / qMax(1, pWidth - 1));
                p[1] = uchar(y * 255 / qMax(1, pHeight - 1));
                p[2] = block ? 200 : 40;
            }
        }
    }

protected:
    void run() override
    {
        mStopRequested.store(false);
        while (!isStopRequested()) {
            if (isImageAvailable()) {
                QThread::msleep(1);
                continue;
            }
            const int width = mWidth, height = mHeight;
            paint(reinterpret_cast<uchar *>(mailboxBuffer(width * height * 3)), width, height);
            publishImage(width, height, 1.0f, 1.0f);
            ++mPublished;
        }
    }

private:
    std::atomic<int> mWidth;
    std::atomic<int> mHeight;
    std::atomic<int> mPublished{0};
    std::atomic<int> mTakes{0};
};
