// SPDX-License-Identifier: GPL-2.0-or-later
// A framed TCP connection to a display server, run on a thread of its own.
//
// Each pass: write everything queued, send a keep-alive after 200 ms without
// a write, wait 1 ms for data, read at most one frame. A peer silent for more
// than 20000 ms is dropped. Callbacks run on the socket's thread, in one of
// two sequences: connected, messages..., stopped; or failed, stopped.
// Set the callbacks before connectToServer; sendMessage and requestStop may
// be called from any thread. The send queue survives the end of a connection.
//
// Lifecycle: connectToServer() starts a connection, requestStop() asks it to
// end, waitForStop() waits for its thread, stop() does both (from the
// socket's own thread, a callback, it only asks); the destructor stops.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace Kiv::Network {

class TcpSocket : public QThread {
public:
    static constexpr int kConnectTimeoutMs = 1000;
    static constexpr int kKeepAliveMs = 200;
    static constexpr int kSilenceLimitMs = 20000;

    explicit TcpSocket(QObject *pParent = nullptr);
    ~TcpSocket() override;

    void setConnectedCallback(std::function<void(TcpSocket *)> pCallback);
    void setConnectionFailedCallback(std::function<void(TcpSocket *)> pCallback);
    void setMessageReceivedCallback(std::function<void(TcpSocket *, QByteArray)> pCallback);
    void setConnectionStoppedCallback(std::function<void(TcpSocket *)> pCallback);

    // Starts a connection; ignored while the previous one's thread still runs.
    void connectToServer(const QHostAddress &pAddress, quint16 pPort);
    // Queues a payload; returns at once.
    void sendMessage(const QByteArray &pPayload);
    // Drops what is queued and not yet written (between connections).
    void clearSendQueue();
    // Asks the connection to end; returns at once.
    void requestStop();
    // True once the connection's thread has ended (false after pTimeoutMs).
    bool waitForStop(int pTimeoutMs = -1);
    void stop();
    bool isConnected() const { return m_connected.load(); }
    // The live connection's peer in Qt's text form (empty when none).
    std::string peerAddress() const;

protected:
    void run() override;

private:
    bool takeQueued(QByteArray *pPayload);

    std::function<void(TcpSocket *)> m_connectedCallback;
    std::function<void(TcpSocket *)> m_failedCallback;
    std::function<void(TcpSocket *, QByteArray)> m_messageCallback;
    std::function<void(TcpSocket *)> m_stoppedCallback;
    QHostAddress m_address;
    quint16 m_port = 0;
    QList<QByteArray> m_sendQueue;
    std::mutex m_sendLock;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_stopRequested{false};
    mutable std::mutex m_peerLock;
    std::string m_peer;
};

} // namespace Kiv::Network
