// SPDX-License-Identifier: GPL-2.0-or-later
#include "transport/streamconnection.h"
#include "transport/transportlog.h"

#include "transport/framereader.h"
#include "transport/streamcommand.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QLoggingCategory>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QtEndian>

namespace {

qint64 nowMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

} // namespace

StreamConnection::StreamConnection(int extraQueues) : m_queues(qMax(0, extraQueues) + 1) {}

StreamConnection::~StreamConnection()
{
    stop();
}

void StreamConnection::setPeer(const QHostAddress &address, quint16 port)
{
    m_address = address;
    m_port = port;
}

void StreamConnection::setStreamId(quint32 id)
{
    m_streamId = id;
}

void StreamConnection::setBufferSize(quint16 size)
{
    m_bufferSize = size;
}

void StreamConnection::setHandshake(bool handshake)
{
    m_handshake = handshake;
}

void StreamConnection::addDescriptor(const QString &key, const QByteArray &value)
{
    m_descriptors.append(StreamCommand::field(key) + value);
}

int StreamConnection::queueOf(int channel) const
{
    return qBound(0, channel + 1, m_queues.size() - 1);
}

void StreamConnection::enqueue(const QByteArray &payload, int channel)
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queues[queueOf(channel)].append(payload);
    wakeWorker();
}

void StreamConnection::requestStop()
{
    m_stopRequested.store(true);
    std::lock_guard<std::mutex> lock(m_queueMutex);
    wakeWorker();
}

void StreamConnection::wakeWorker()
{
    // m_queueMutex is held: the worker clears m_dispatcher under it before
    // its thread (and with it the dispatcher) ends.
    if (m_dispatcher)
        m_dispatcher->wakeUp();
}

void StreamConnection::waitForActivity(QTimer &timer, int timeoutMs, bool wakeOnQueued)
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (m_stopRequested.load())
            return;
        if (wakeOnQueued) {
            for (const QList<QByteArray> &queue : qAsConst(m_queues))
                if (!queue.isEmpty())
                    return;
        }
    }
    // A wake that came since the look above is not lost: the dispatcher
    // keeps it until this wait.
    timer.start(qMax(1, timeoutMs));
    QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
    timer.stop();
}

void StreamConnection::notifyActivity()
{
    if (m_activity)
        m_activity();
}

int StreamConnection::queuedCount(int channel) const
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_queues[queueOf(channel)].size();
}

bool StreamConnection::hasReceived() const
{
    std::lock_guard<std::mutex> lock(m_receivedMutex);
    return !m_received.isEmpty();
}

QByteArray StreamConnection::takeReceived()
{
    std::lock_guard<std::mutex> lock(m_receivedMutex);
    return m_received.isEmpty() ? QByteArray() : m_received.takeFirst();
}

void StreamConnection::start()
{
    // Connecting registers Qt's socket metatypes on first use; doing that once
    // on the starting thread keeps the workers from racing on the registry.
    static const bool registered = [] {
        qRegisterMetaType<QHostInfo>();
        qRegisterMetaType<QAbstractSocket::SocketState>();
        qRegisterMetaType<QAbstractSocket::SocketError>();
        return true;
    }();
    Q_UNUSED(registered)
    if (m_worker)
        stop();
    m_stopRequested.store(false);
    m_running.store(true, std::memory_order_release);
    m_worker = std::make_unique<QThread>();
    connect(m_worker.get(), &QThread::started, this, &StreamConnection::sendThreadFunc, Qt::DirectConnection);
    m_worker->start(QThread::InheritPriority);
}

void StreamConnection::stop()
{
    requestStop();
    waitForStop();
}

void StreamConnection::waitForStop()
{
    if (!m_worker)
        return;
    {
        std::unique_lock<std::mutex> lock(m_queueMutex);
        m_ended.wait(lock, [this] { return !m_running.load(std::memory_order_acquire); });
    }
    m_worker->quit();
    m_worker->wait();
    m_worker.reset();
}

bool StreamConnection::writeFrame(QTcpSocket &socket, const QByteArray &payload)
{
    char length[4];
    qToLittleEndian<quint32>(quint32(payload.size()), length);
    if (socket.write(length, 4) != 4)
        return false;
    return payload.isEmpty() || socket.write(payload) == payload.size();
}

bool StreamConnection::sendPass(QTcpSocket &socket)
{
    // Everything queued goes out, queue 0 first, as long as the socket's own
    // backlog stays bounded; the rest waits in the queues, in order.
    qint64 budget = MaxUnwrittenBytes - socket.bytesToWrite();
    m_backlogged = budget <= 0;
    if (m_backlogged)
        return true; // the next wait ends when the socket has written some
    QList<QByteArray> outgoing;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        for (QList<QByteArray> &queue : m_queues) {
            while (!queue.isEmpty() && budget > 0) {
                budget -= queue.first().size() + 4;
                outgoing.append(queue.takeFirst());
            }
            if (!queue.isEmpty())
                break;
        }
    }
    if (!outgoing.isEmpty()) {
        for (const QByteArray &payload : qAsConst(outgoing))
            writeFrame(socket, payload);
        socket.waitForBytesWritten(WriteTimeoutMs);
        m_lastSend = nowMs();
        notifyActivity();
        return true;
    }
    if (nowMs() - m_lastSend > KeepAliveMs) {
        writeFrame(socket, QByteArray());
        socket.waitForBytesWritten(WriteTimeoutMs);
        m_lastSend = nowMs();
    }
    return true;
}

bool StreamConnection::receivePass(QTcpSocket &socket, FrameReader &reader, int waitMs)
{
    socket.waitForReadyRead(waitMs);
    char buffer[64 * 1024];
    while (socket.bytesAvailable() > 0) {
        const qint64 got = socket.read(buffer, sizeof buffer);
        if (got < 0)
            return false;
        QList<QByteArray> payloads;
        const int frames = reader.feed(buffer, got, payloads);
        if (frames < 0) {
            qCWarning(lcTransport) << "incoming frame length" << reader.rejectedLength() << "from"
                                   << m_address.toString() << "exceeds" << FrameReader::MaxPayload
                                   << "bytes; closing the connection";
            socket.abort();
            return false;
        }
        if (frames > 0)
            m_lastReceive = nowMs();
        if (!payloads.isEmpty()) {
            m_payloadsReceived += payloads.size();
            {
                std::lock_guard<std::mutex> lock(m_receivedMutex);
                m_received.append(payloads);
            }
            notifyActivity();
        }
    }
    return true;
}

void StreamConnection::sendThreadFunc()
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_dispatcher = QAbstractEventDispatcher::instance();
    }
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    FrameReader reader;
    QTimer timer; // ends waitForActivity() at the next keep-alive or silence deadline
    timer.setSingleShot(true);
    m_backlogged = false;

    // Buffer sizes only take effect once the socket has a descriptor, so they
    // are applied again right after connecting.
    const int sendBufferSize = m_sendBufferSize > 0 ? m_sendBufferSize : int(m_bufferSize);
    socket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, sendBufferSize);
    socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, int(m_bufferSize));
    socket.connectToHost(m_address, m_port, QIODevice::ReadWrite);
    const bool connected = socket.waitForConnected(ConnectTimeoutMs);
    m_lastReceive = nowMs();
    m_lastSend = nowMs();

    auto alive = [&] {
        return socket.state() == QAbstractSocket::ConnectedState && nowMs() - m_lastReceive < m_silenceMs;
    };

    bool handshakeDone = connected;
    m_payloadsReceived = 0;
    if (!connected) {
        qCDebug(lcTransport) << "connection to" << m_address.toString() << m_port << "failed:" << socket.errorString();
    } else {
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, sendBufferSize);
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, int(m_bufferSize));
        if (m_handshake) {
            writeFrame(socket, StreamCommand::handshake(m_streamId));
            socket.waitForBytesWritten(WriteTimeoutMs);
            // The answer is not inspected; it is handed on with the other messages.
            // A peer that closes or goes silent meanwhile ends the attempt.
            // Counted here rather than looked up in the received list, which
            // the owner may empty at any time.
            while (m_payloadsReceived == 0) {
                if (m_stopRequested.load() || !alive() || !receivePass(socket, reader, 0)) {
                    if (!m_stopRequested.load())
                        qCDebug(lcTransport) << "no handshake answer from" << m_address.toString() << m_port
                                             << "; state" << socket.state() << socket.errorString();
                    handshakeDone = false;
                    break;
                }
                if (m_payloadsReceived == 0)
                    waitForActivity(timer, int(m_lastReceive + m_silenceMs - nowMs()), false);
            }
        }
    }

    if (handshakeDone) {
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            for (QList<QByteArray> &queue : m_queues)
                queue.clear();
            m_queues[0] = m_descriptors;
        }
        m_established.store(true, std::memory_order_release);
        notifyActivity();
        m_lastSend = nowMs();
        for (;;) {
            sendPass(socket);
            receivePass(socket, reader, 0);
            if (!alive()) {
                if (socket.state() == QAbstractSocket::ConnectedState)
                    qCDebug(lcTransport) << "no frame from" << m_address.toString() << "for" << m_silenceMs << "ms";
                m_stopRequested.store(true);
                QThread::msleep(50);
                break;
            }
            if (m_stopRequested.load()) {
                writeFrame(socket, StreamCommand::disconnect());
                socket.waitForBytesWritten(WriteTimeoutMs);
                break;
            }
            const qint64 now = nowMs();
            const qint64 due = qMin(m_lastSend + KeepAliveMs + 1, m_lastReceive + m_silenceMs);
            waitForActivity(timer, int(due - now), !m_backlogged);
        }
    }
    m_established.store(false, std::memory_order_release);
    socket.close();
    // Before running clears: once it reads false the owner may destroy this object.
    notifyActivity();
    {
        // Under the mutex: waitForStop() then sees everything this thread did.
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_dispatcher = nullptr;
        m_running.store(false, std::memory_order_release);
        m_ended.notify_all();
    }
    QThread::currentThread()->quit();
}
