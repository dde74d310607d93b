// SPDX-License-Identifier: GPL-2.0-or-later
#include "clients/streamclient.h"

#include "clients/clientsmanager.h"
#include "compression/imagecompressor.h"
#include "input/mousekeyboard.h"
#include "transport/streamcommand.h"

#include <QCursor>
#include <QDateTime>
#include <QThread>

StreamClient::StreamClient(int pIndex, ClientsManager *pManager, ImageCompressor *pCompressor, const QRect &pScreenRect)
    : mIndex(pIndex), mManager(pManager), mCompressor(pCompressor), mScreenRect(pScreenRect)
{
}

StreamClient::~StreamClient()
{
    disconnectClient();
}

void StreamClient::setTarget(const QHostAddress &pAddress, quint16 pPort, quint32 pStreamId, bool pHandshake)
{
    mAddress = pAddress;
    mPort = pPort;
    mStreamId = pStreamId;
    mHandshake = pHandshake;
}

void StreamClient::startClient()
{
    mLastMousePosition.start();
    mLastSentFrame = -1;

    QByteArray id;
    StreamCommand::appendUInt32(id, mStreamId);
    // A codec number other than 0 or 1 is announced with no value byte.
    const QByteArray codec = (mCodec == 0 || mCodec == 1) ? QByteArray(1, char(mCodec)) : QByteArray();

    mVideo.addDescriptor(QStringLiteral("ID"), id);
    mVideo.addDescriptor(QStringLiteral("STREAMTYPE"), QByteArrayLiteral("VIDEO"));
    mVideo.addDescriptor(QStringLiteral("CODEC"), codec);
    mVideo.setPeer(mAddress, mPort);
    mVideo.setStreamId(mStreamId);
    mVideo.setHandshake(mHandshake);
    mVideo.startSocket();

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
    mControls.startSocket();

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

void StreamClient::sendNextFrame()
{
    if (!mCompressor || !mCompressor->isFrameAvailable())
        return;
    if (mVideo.queuedCount(0) > FrameQueueLimit)
        return;
    const int delay = frameDelayMs(mReturnDataMode, mFramesInFlight, mPendingFrames);
    if (delay > MaxDelayMs)
        return;
    if (delay > 0)
        QThread::msleep(2 * ulong(delay));
    if (mPaused)
        return;
    if (mCompressor->getLastFrameNumber() == mLastSentFrame)
        return;
    const FrameRecord frame = mCompressor->takeFrame();
    mLastSentFrame = frame.frameNumber;
    ++mFramesInFlight;
    mVideo.enqueue(StreamCommand::frame(frame.data), 0);
}

void StreamClient::sendMousePosition()
{
    if (mLastMousePosition.elapsed() < CursorIntervalMs || mVideo.queuedCount(1) > CursorQueueLimit || mPaused)
        return;
    // Without the streamed screen's geometry (no Qt screen of that name) the
    // position would be a division by zero: send none rather than NaN.
    if (mScreenRect.width() <= 0 || mScreenRect.height() <= 0)
        return;
    const QPoint cursor = QCursor::pos();
    const float x = float(cursor.x() - mScreenRect.x()) / float(mScreenRect.width());
    const float y = float(cursor.y() - mScreenRect.y()) / float(mScreenRect.height());
    mVideo.enqueue(StreamCommand::mousePosition(x, y, QDateTime::currentMSecsSinceEpoch()), 1);
    mLastMousePosition.start();
}

void StreamClient::pauseClient()
{
    mVideo.enqueue(StreamCommand::pause(), 0);
    mPaused = true;
}

void StreamClient::resumeClient()
{
    mPaused = false;
}

void StreamClient::disconnectClient()
{
    mVideo.stopSocket();
    mControls.stopSocket();
}

void StreamClient::onReturnData()
{
    --mFramesInFlight;
    mReturnDataMode = true;
}
