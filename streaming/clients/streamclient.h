// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "transport/streamconnection.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRect>

#include <functional>

class ClientsManager;
struct EncodedPacket;

// One receiver of the stream: its VIDEO and CONTROLS connections, its flow
// control and where it stands in the H.264 stream. Every packet is offered to
// every client; a client takes it only when it can use it: after a skipped
// packet (joining, paused, throttled, queue full) it waits for the next key
// frame, so its decoder never meets a frame whose references it missed.
//
// Threads: owned by the client manager; every call is made under the
// manager's mutex (from the manager thread, the compressor thread offering
// packets, or the GUI thread pausing). Nothing here sleeps or waits on the
// network.
class StreamClient {
public:
    static constexpr int FrameQueueLimit = 3;   // frames waiting on VIDEO; more are skipped
    static constexpr int CursorQueueLimit = 15; // waiting cursor positions
    static constexpr int CursorIntervalMs = 30;
    static constexpr int DelayStepMs = 20; // per excess frame; frames go out 2 x delay apart
    static constexpr int MaxDelayMs = 500; // beyond it no frame is sent
    static constexpr int VideoSendBufferBytes = 256 * 1024;

    StreamClient(int pIndex, ClientsManager *pManager, const QRect &pScreenRect);
    ~StreamClient();

    StreamClient(const StreamClient &) = delete;
    StreamClient &operator=(const StreamClient &) = delete;

    void setTarget(const QHostAddress &pAddress, quint16 pPort, quint32 pStreamId, bool pHandshake);
    void setCodec(int pCodec) { mCodec = pCodec; }
    // Called by the sockets' workers when something happened (before start).
    void setActivityCallback(const std::function<void()> &pCallback);
    void start();
    bool isAlive() const;

    // Whether a packet offered at pNowMs would be sent (flow control, queue, pause).
    bool canTakeFrame(qint64 pNowMs) const;
    // Waiting for a key frame and able to take one: the encoder should make one.
    bool wantsKeyFrame(qint64 pNowMs) const { return mWaitingForKey && canTakeFrame(pNowMs); }
    // When a throttled client can take a frame again (pNowMs if it can now).
    qint64 nextFrameAtMs(qint64 pNowMs) const;
    // Sends the packet if the client can use it; returns whether it did.
    bool offerFrame(const EncodedPacket &pPacket, qint64 pNowMs);
    // The encoder reopened: what comes next starts a new stream.
    void restartStream() { mWaitingForKey = true; }

    void sendMousePosition();
    void pauseClient();
    void resumeClient();
    // Lifecycle: start(), requestStop(), waitForStop(); stop() is both.
    // Asks both connections to end without waiting.
    void requestStop();
    // Waits for both connections to end (never under the manager's mutex).
    void waitForStop();
    void stop();
    bool hasEnded() const { return !mVideo.isRunning() && !mControls.isRunning(); }

    // Flow-control reports from the receiver.
    void onPendingFrames(qint32 pPending) { mPendingFrames = pPending; }
    void onReturnData();

    // The delay for the next frame: excess over the allowed backlog x 20 ms;
    // above MaxDelayMs no frame is sent at all.
    static int frameDelayMs(bool pReturnDataMode, int pFramesInFlight, int pPendingFrames);

    int index() const { return mIndex; }
    int lastSentFrame() const { return mLastSentFrame; }
    int framesInFlight() const { return mFramesInFlight; }
    bool isPaused() const { return mPaused; }
    bool isWaitingForKey() const { return mWaitingForKey; }
    StreamConnection &video() { return mVideo; }
    StreamConnection &controls() { return mControls; }

private:
    int mIndex;
    QHostAddress mAddress;
    quint16 mPort = 0;
    quint32 mStreamId = 0;
    bool mHandshake = true;
    int mCodec = 1;
    bool mPaused = false;
    StreamConnection mVideo{2};
    StreamConnection mControls{0};
    ClientsManager *mManager;
    int mLastSentFrame = -1;
    qint64 mLastSentAtMs = -1; // monotonic ms of the last frame sent
    bool mWaitingForKey = true;
    QElapsedTimer mLastMousePosition;
    int mPendingFrames = 0;
    bool mReturnDataMode = false;
    int mFramesInFlight = 0;
    QRect mScreenRect;
};
