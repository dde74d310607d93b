// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

// One framed TCP connection to a stream receiver. All socket I/O runs in a
// worker thread of its own (sendThreadFunc); other threads only touch the
// queues, the received list and the flags. There is one connection attempt per
// start(); a new connection needs a new start.
//
// Outgoing messages sit in N queues, drained in queue order on every send pass:
// queue 0 holds the descriptors, channel c maps to queue min(c + 1, N - 1).
class StreamConnection : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 DefaultBufferSize = 34464;
    static constexpr int ConnectTimeoutMs = 3000;
    static constexpr int WriteTimeoutMs = 1000;
    static constexpr int KeepAliveMs = 200;
    static constexpr int SilenceMs = 20000;
    // Bytes the socket may hold unwritten before queued messages stay queued:
    // a slow receiver then backs the frame queue up (and the pipeline with it)
    // instead of letting Qt's write buffer grow without end.
    static constexpr qint64 MaxUnwrittenBytes = 512 * 1024;

    // N = extraQueues + 1.
    explicit StreamConnection(int extraQueues);
    ~StreamConnection() override;

    // Configuration, before start().
    void setPeer(const QHostAddress &address, quint16 port);
    void setStreamId(quint32 id);
    void setBufferSize(quint16 size);
    // The send buffer alone, after setBufferSize(); 0 leaves it at the buffer size.
    void setSendBufferSize(int size) { m_sendBufferSize = size; }
    void setHandshake(bool handshake);
    void addDescriptor(const QString &key, const QByteArray &value);
    // Called from the worker, with no lock held, when something the owner may
    // act on happened: messages received, queued messages written, the
    // connection established or ended. Before start().
    void setActivityCallback(std::function<void()> callback) { m_activity = std::move(callback); }
    // How long the peer may stay silent (no complete frame); SilenceMs unless set (tests shorten it).
    void setSilenceTimeout(int milliseconds) { m_silenceMs = milliseconds; }

    // Any thread.
    void enqueue(const QByteArray &payload, int channel);
    int queuedCount(int channel) const;
    bool hasReceived() const;
    QByteArray takeReceived();

    // Lifecycle: start(), requestStop(), waitForStop(); stop() is both.
    void start();
    // Asks the worker to end without waiting (the first phase of a shutdown).
    void requestStop();
    // Blocks until the worker has ended (up to the step under way: 3 s while connecting).
    void waitForStop();
    void stop();
    bool isRunning() const { return m_running.load(std::memory_order_acquire); }
    // Handshake done and descriptors queued: what is enqueued now is sent.
    bool isEstablished() const { return m_established.load(std::memory_order_acquire); }

public slots:
    // The worker; runs in the worker thread, started by start().
    void sendThreadFunc();

private:
    int queueOf(int channel) const;
    bool sendPass(class QTcpSocket &socket);
    bool receivePass(class QTcpSocket &socket, class FrameReader &reader, int waitMs);
    bool writeFrame(class QTcpSocket &socket, const QByteArray &payload);
    // The worker's wait between passes: until the socket has news (bytes
    // in, bytes written), a message is enqueued, a stop is requested, or
    // pTimeoutMs passes. The worker thread's event dispatcher does the
    // waiting; other threads wake it through wakeWorker().
    void waitForActivity(class QTimer &timer, int timeoutMs, bool wakeOnQueued);
    void wakeWorker(); // with m_queueMutex held
    void notifyActivity();

    QHostAddress m_address;
    quint16 m_port = 0;
    quint32 m_streamId = 0xFFFFFFFFu;
    quint16 m_bufferSize = DefaultBufferSize;
    int m_sendBufferSize = 0;
    bool m_handshake = true;
    int m_silenceMs = SilenceMs;
    QList<QByteArray> m_descriptors;

    // std::mutex rather than QMutex: ThreadSanitizer sees its ordering.
    mutable std::mutex m_queueMutex;
    QVector<QList<QByteArray>> m_queues;
    // The worker thread's dispatcher while the worker runs; with m_queueMutex.
    class QAbstractEventDispatcher *m_dispatcher = nullptr;
    std::condition_variable m_ended; // the worker cleared m_running

    mutable std::mutex m_receivedMutex;
    QList<QByteArray> m_received;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_established{false};
    std::function<void()> m_activity;

    // Worker-thread only: monotonic milliseconds.
    qint64 m_lastReceive = 0;
    qint64 m_lastSend = 0;
    qint64 m_payloadsReceived = 0;
    bool m_backlogged = false; // the socket's own backlog is full: queued messages wait

    std::unique_ptr<QThread> m_worker;
};
