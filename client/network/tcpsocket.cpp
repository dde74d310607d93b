// SPDX-License-Identifier: GPL-2.0-or-later
#include "tcpsocket.h"

#include "framereader.h"
#include "networklog.h"

#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QTcpSocket>

namespace Kiv::Network {

TcpSocket::TcpSocket(QObject *pParent) : QThread(pParent) {}

TcpSocket::~TcpSocket()
{
    stop();
}

void TcpSocket::setConnectedCallback(std::function<void(TcpSocket *)> pCallback)
{
    m_connectedCallback = std::move(pCallback);
}

void TcpSocket::setConnectionFailedCallback(std::function<void(TcpSocket *)> pCallback)
{
    m_failedCallback = std::move(pCallback);
}

void TcpSocket::setMessageReceivedCallback(std::function<void(TcpSocket *, QByteArray)> pCallback)
{
    m_messageCallback = std::move(pCallback);
}

void TcpSocket::setConnectionStoppedCallback(std::function<void(TcpSocket *)> pCallback)
{
    m_stoppedCallback = std::move(pCallback);
}

void TcpSocket::connectToServer(const QHostAddress &pAddress, quint16 pPort)
{
    // Changing the target under a running connection would race with it.
    if (isRunning()) {
        qCWarning(lcNetwork) << "connectToServer ignored: the previous connection is still running";
        return;
    }
    m_connected = false;
    m_stopRequested = false;
    m_address = pAddress;
    m_port = pPort;
    QThread::start();
}

void TcpSocket::sendMessage(const QByteArray &pPayload)
{
    // A copy of its own, so that the caller's later changes never meet the
    // bytes this thread is writing.
    const QByteArray payload(pPayload.constData(), pPayload.size());
    std::lock_guard<std::mutex> lock(m_sendLock);
    m_sendQueue.append(payload);
}

void TcpSocket::clearSendQueue()
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    m_sendQueue.clear();
}

void TcpSocket::requestStop()
{
    m_stopRequested = true;
}

bool TcpSocket::waitForStop(int pTimeoutMs)
{
    return pTimeoutMs < 0 ? wait() : wait(unsigned(pTimeoutMs));
}

void TcpSocket::stop()
{
    requestStop();
    // A callback cannot wait for the thread it runs on.
    if (QThread::currentThread() != this)
        waitForStop();
}

std::string TcpSocket::peerAddress() const
{
    std::lock_guard<std::mutex> lock(m_peerLock);
    return m_peer;
}

bool TcpSocket::takeQueued(QByteArray *pPayload)
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    if (m_sendQueue.isEmpty())
        return false;
    *pPayload = m_sendQueue.takeFirst();
    return true;
}

void TcpSocket::run()
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(m_address, m_port, QIODevice::ReadWrite);
    m_connected = socket.waitForConnected(kConnectTimeoutMs);
    const QString peer = m_address.toString() + QLatin1Char(':') + QString::number(m_port);
    if (m_connected) {
        {
            std::lock_guard<std::mutex> lock(m_peerLock);
            m_peer = socket.peerAddress().toString().toStdString();
        }
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (m_connectedCallback)
            m_connectedCallback(this);
    } else {
        qCDebug(lcNetwork).noquote() << "no connection to" << peer << socket.errorString();
        if (m_failedCallback)
            m_failedCallback(this);
    }

    QElapsedTimer lastSent;
    QElapsedTimer lastReceived;
    lastSent.start();
    lastReceived.start();
    FrameReader reader;
    static const QByteArray keepAlive(kFrameHeaderSize, '\0');
    while (m_connected.load()) {
        if (m_stopRequested.load())
            break;
        QByteArray payload;
        while (takeQueued(&payload)) {
            socket.write(encodeFrame(payload));
            socket.waitForBytesWritten(1000);
            lastSent.restart();
        }
        if (!m_connected.load())
            break;
        if (lastSent.elapsed() > kKeepAliveMs) {
            lastSent.restart();
            socket.write(keepAlive);
            socket.waitForBytesWritten(1000);
        }
        if (socket.bytesAvailable() < kFrameHeaderSize)
            socket.waitForReadyRead(1);
        if (socket.bytesAvailable() < kFrameHeaderSize) {
            if (lastReceived.elapsed() > kSilenceLimitMs) {
                qCDebug(lcNetwork).noquote() << "peer" << peer << "silent for" << kSilenceLimitMs << "ms; dropped";
                break;
            }
            if (socket.state() != QAbstractSocket::ConnectedState)
                break;
            continue;
        }
        // A peer stalling inside a frame is still bound by stop and by the
        // silence limit.
        const FrameReader::Status status = reader.readFrame(
            socket, [&] { return !m_stopRequested.load() && lastReceived.elapsed() <= kSilenceLimitMs; });
        if (status == FrameReader::Status::KeepAlive) {
            lastReceived.restart();
            continue;
        }
        if (status != FrameReader::Status::Complete) {
            if (status == FrameReader::Status::TooLong)
                qCWarning(lcNetwork).noquote()
                    << "peer" << peer << "sent a frame length of" << reader.length() << "bytes; connection ended";
            else if (status == FrameReader::Status::Lost)
                qCDebug(lcNetwork).noquote()
                    << "connection to" << peer << "lost inside a frame of" << reader.length() << "bytes";
            else if (!m_stopRequested.load())
                qCDebug(lcNetwork).noquote() << "peer" << peer << "stalled inside a frame of" << reader.length()
                                             << "bytes for" << kSilenceLimitMs << "ms; dropped";
            break;
        }
        if (m_messageCallback)
            m_messageCallback(this, QByteArray(reader.payload().constData(), reader.payload().size()));
        lastReceived.restart();
    }
    socket.close();
    m_connected = false;
    {
        std::lock_guard<std::mutex> lock(m_peerLock);
        m_peer.clear();
    }
    if (m_stoppedCallback)
        m_stoppedCallback(this);
}

} // namespace Kiv::Network
