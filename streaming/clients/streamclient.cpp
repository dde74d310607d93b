// SPDX-License-Identifier: GPL-2.0-or-later
#include "clients/streamclient.h"

#include "clients/clientsmanager.h"
#include "compression/encodedpacket.h"
#include "input/mousekeyboard.h"
#include "platform/screencapture.h"
#include "transport/streamcommand.h"

#include <QCursor>
#include <QDateTime>

StreamClient::StreamClient(int pIndex, ClientsManager *pManager, const QRect &pScreenRect)
    : mIndex(pIndex), mManager(pManager), mScreenRect(pScreenRect)
{
}

StreamClient::~StreamClient()
{
    stop();
}

void StreamClient::setTarget(const QHostAddress &pAddress, quint16 pPort, quint32 pStreamId, bool pHandshake)
{
    mAddress = pAddress;
    mPort = pPort;
    mStreamId = pStreamId;
    mHandshake = pHandshake;
}

void StreamClient::setActivityCallback(const std::function<void()> &pCallback)
{
    mVideo.setActivityCallback(pCallback);
    mControls.setActivityCallback(pCallback);
}

void StreamClient::start()
{
    mLastMousePosition.start();
    mLastSentFrame = -1;
    mLastSentAtMs = -1;
    mWaitingForKey = true;

    QByteArray id;
    StreamCommand::appendUInt32(id, mStreamId);
    // A codec number other than 0 or 1 is announced with no value byte.
    const QByteArray codec = (mCodec == 0 || mCodec == 1) ? QByteArray(1, char(mCodec)) : QByteArray();

    mVideo.addDescriptor(QStringLiteral("ID"), id);
    mVideo.addDescriptor(QStringLiteral("STREAMTYPE"), QByteArrayLiteral("VIDEO"));
    mVideo.addDescriptor(QStringLiteral("CODEC"), codec);
    // A key frame alone nearly fills a 34464-byte send buffer; the next
    // frames then wait for the receiver's delayed ACK, 40 ms on Linux.
    mVideo.setSendBufferSize(VideoSendBufferBytes);
    mVideo.setPeer(mAddress, mPort);
    mVideo.setStreamId(mStreamId);
    mVideo.setHandshake(mHandshake);
    mVideo.start();

    const MouseKeyboard *injector = mManager ? mManager->mouseKeyboard() : nullptr;
    const bool touch = injector && injector->isTouchInjectionAvailable();
    mControls.addDescriptor(QStringLiteral("ID"), id);
    mControls.addDescriptor(QStringLiteral("STREAMTYPE"), QByteArrayLiteral("CONTROLS"));
    mControls.addDescriptor(QStringLiteral("TOUCH"), QByteArray(1, touch ? '\x01' : '\x00'));
    mControls.addDescriptor(QStringLiteral("TRACKPAD"), QByteArray(1, '\x01'));
    mControls.setPeer(mAddress, mPort);
    mControls.setBufferSize(0);
    mControls.setStreamId(mStreamId);
    mControls.setHandshake(mHandshake);
    mControls.start();

    mPendingFrames = 0;
}

bool StreamClient::isAlive() const
{
    return mVideo.isRunning() && mControls.isRunning();
}

int StreamClient::frameDelayMs(bool pReturnDataMode, int pFramesInFlight, int pPendingFrames)
{
    // In 64 bits and clamped before multiplying: a hostile report cannot overflow the delay.
    const qint64 excess = pReturnDataMode ? qint64(pFramesInFlight) - 10 : qint64(pPendingFrames) - 2;
    return int(qBound<qint64>(0, excess, MaxDelayMs / DelayStepMs + 1)) * DelayStepMs;
}

qint64 StreamClient::nextFrameAtMs(qint64 pNowMs) const
{
    const int delay = frameDelayMs(mReturnDataMode, mFramesInFlight, mPendingFrames);
    if (delay == 0 || mLastSentAtMs < 0)
        return pNowMs;
    // The delay is computed afresh each time: a lower report frees the client at once.
    return qMax(pNowMs, mLastSentAtMs + 2 * qint64(delay));
}

bool StreamClient::canTakeFrame(qint64 pNowMs) const
{
    if (mPaused || !mVideo.isEstablished() || !isAlive())
        return false;
    if (mVideo.queuedCount(0) >= FrameQueueLimit)
        return false;
    if (frameDelayMs(mReturnDataMode, mFramesInFlight, mPendingFrames) > MaxDelayMs)
        return false;
    return nextFrameAtMs(pNowMs) <= pNowMs;
}

bool StreamClient::offerFrame(const EncodedPacket &pPacket, qint64 pNowMs)
{
    if (!canTakeFrame(pNowMs)) {
        // A skipped packet breaks this client's chain of references.
        mWaitingForKey = true;
        return false;
    }
    if (mWaitingForKey && !pPacket.keyFrame)
        return false;
    if (pPacket.frameNumber == mLastSentFrame)
        return false;
    mWaitingForKey = false;
    mLastSentFrame = pPacket.frameNumber;
    mLastSentAtMs = pNowMs;
    ++mFramesInFlight;
    mVideo.enqueue(StreamCommand::frame(pPacket.data), 0);
    return true;
}

void StreamClient::sendMousePosition()
{
    if (mLastMousePosition.elapsed() < CursorIntervalMs || mVideo.queuedCount(1) > CursorQueueLimit || mPaused)
        return;
    // A capture that sees the pointer itself (a screen cast) knows better
    // than the window system, or knows that nobody knows: then none is sent.
    const glimra::platform::CapturedPointer captured = glimra::platform::capturedPointer();
    if (captured.source == glimra::platform::CapturedPointer::Unknown)
        return;
    float x = captured.x, y = captured.y;
    if (captured.source == glimra::platform::CapturedPointer::WindowingSystem) {
        // Without the streamed screen's geometry (no Qt screen of that name) the
        // position would be a division by zero: send none rather than NaN.
        if (mScreenRect.width() <= 0 || mScreenRect.height() <= 0)
            return;
        const QPoint cursor = QCursor::pos();
        x = float(cursor.x() - mScreenRect.x()) / float(mScreenRect.width());
        y = float(cursor.y() - mScreenRect.y()) / float(mScreenRect.height());
    }
    mVideo.enqueue(StreamCommand::mousePosition(x, y, QDateTime::currentMSecsSinceEpoch()), 1);
    mLastMousePosition.start();
}

void StreamClient::pauseClient()
{
    mVideo.enqueue(StreamCommand::pause(), 0);
    mPaused = true;
    mWaitingForKey = true;
}

void StreamClient::resumeClient()
{
    mPaused = false;
}

void StreamClient::requestStop()
{
    mVideo.requestStop();
    mControls.requestStop();
}

void StreamClient::waitForStop()
{
    mVideo.waitForStop();
    mControls.waitForStop();
}

void StreamClient::stop()
{
    requestStop();
    waitForStop();
}

void StreamClient::onReturnData()
{
    --mFramesInFlight;
    mReturnDataMode = true;
}
