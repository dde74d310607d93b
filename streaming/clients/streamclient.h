// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "transport/tcpsocket.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRect>

class ClientsManager;
class ImageCompressor;

// One receiver of the stream: its VIDEO and CONTROLS connections and its flow
// control state. Lives on the client manager thread, which makes every call
// after startClient(); pauseClient/resumeClient come from the GUI thread under
// the manager's mutex.
class StreamClient {
public:
    static constexpr int FrameQueueLimit = 2;   // more waiting frames: nothing new is queued
    static constexpr int CursorQueueLimit = 15; // waiting cursor positions
    static constexpr int CursorIntervalMs = 30;
    static constexpr int DelayStepMs = 20; // per excess frame, slept twice
    static constexpr int MaxDelayMs = 500; // beyond it no frame is sent

    StreamClient(int pIndex, ClientsManager *pManager, ImageCompressor *pCompressor, const QRect &pScreenRect);
    ~StreamClient();

    StreamClient(const StreamClient &) = delete;
    StreamClient &operator=(const StreamClient &) = delete;

    void setTarget(const QHostAddress &pAddress, quint16 pPort, quint32 pStreamId, bool pHandshake);
    void setCodec(int pCodec) { mCodec = pCodec; }
    void startClient();
    bool isAlive() const;

    void sendNextFrame();
    void sendMousePosition();
    void pauseClient();
    void resumeClient();
    void disconnectClient();

    // Flow-control reports from the receiver.
    void onPendingFrames(qint32 pPending) { mPendingFrames = pPending; }
    void onReturnData();

    // The delay before a frame goes out: excess over the allowed backlog x 20 ms;
    // above MaxDelayMs no frame is sent at all.
    static int frameDelayMs(bool pReturnDataMode, int pFramesInFlight, int pPendingFrames);

    int index() const { return mIndex; }
    int lastSentFrame() const { return mLastSentFrame; }
    int framesInFlight() const { return mFramesInFlight; }
    bool isPaused() const { return mPaused; }
    TcpSocket &video() { return mVideo; }
    TcpSocket &controls() { return mControls; }

private:
    int mIndex;
    QHostAddress mAddress;
    quint16 mPort = 0;
    quint32 mStreamId = 0;
    bool mHandshake = true;
    int mCodec = 1;
    bool mPaused = false;
    TcpSocket mVideo{2};
    TcpSocket mControls{0};
    ClientsManager *mManager;
    ImageCompressor *mCompressor;
    int mLastSentFrame = -1;
    QElapsedTimer mLastMousePosition;
    int mPendingFrames = 0;
    bool mReturnDataMode = false;
    int mFramesInFlight = 0;
    QRect mScreenRect;
};
