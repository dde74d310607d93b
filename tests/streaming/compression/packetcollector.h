// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// A packet sink for tests: keeps every packet with its arrival time.

#include "compression/packetsink.h"

#include <QElapsedTimer>
#include <QList>

#include <condition_variable>
#include <mutex>

class PacketCollector : public PacketSink {
public:
    struct Arrival {
        EncodedPacket packet;
        qint64 atMs = 0; // on the collector's clock
    };

    PacketCollector() { mClock.start(); }

    void open(int pWidth, int pHeight) override
    {
        std::lock_guard<std::mutex> lock(mMutex);
        ++mOpens;
        mOpenWidth = pWidth;
        mOpenHeight = pHeight;
    }
    void push(const EncodedPacket &pPacket) override
    {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mArrivals.append({pPacket, mClock.elapsed()});
        }
        mWake.notify_all();
    }
    void close() override {}

    // The next packet not yet taken, waiting up to pTimeoutMs.
    bool next(Arrival &pOut, int pTimeoutMs = 20000)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        if (!mWake.wait_for(lock, std::chrono::milliseconds(pTimeoutMs), [this] { return mTaken < mArrivals.size(); }))
            return false;
        pOut = mArrivals[mTaken++];
        return true;
    }
    bool next(EncodedPacket &pOut, int pTimeoutMs = 20000)
    {
        Arrival arrival;
        if (!next(arrival, pTimeoutMs))
            return false;
        pOut = arrival.packet;
        return true;
    }
    int count()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mArrivals.size();
    }
    int opens()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mOpens;
    }
    qint64 nowMs() const { return mClock.elapsed(); }

private:
    std::mutex mMutex;
    std::condition_variable mWake;
    QList<Arrival> mArrivals;
    int mTaken = 0;
    int mOpens = 0;
    int mOpenWidth = 0, mOpenHeight = 0;
    QElapsedTimer mClock;
};
