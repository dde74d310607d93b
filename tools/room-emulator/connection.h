// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "framereader.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

// One accepted TCP connection that speaks frames. It owns its socket, reads
// and bounds incoming frames, and ends exactly once (logged as conn.closed),
// deleting itself afterwards. Main thread only.
class Connection : public QObject {
    Q_OBJECT
public:
    Connection(QTcpSocket *socket, const QString &port, QObject *parent = nullptr);
    ~Connection() override;

    int id() const { return m_id; }
    QString peer() const;
    bool isOpen() const { return !m_closed; }

    void send(const QByteArray &payload);
    void sendRaw(const QByteArray &bytes);
    void sendKeepAlive();

    // Logs the reason, closes the socket and deletes this object later.
    void close(const QString &reason);

    // Keep-alives every ms (0 stops them); suppressed while silent() is on.
    void setKeepAlive(int ms);
    // Ends the connection when the peer sends no frame for ms (0: never).
    void setIdleTimeout(int ms);
    // Read at most this many bytes per second, leaving the rest in the kernel
    // so the peer feels back-pressure (0: read everything at once).
    void setReadRate(int bytesPerSecond);

    // CLOCK_MONOTONIC microseconds at which the bytes of the frame being
    // delivered were read from the socket.
    qint64 readMicros() const { return m_readMicros; }

    static int openCount();
    static void setSilent(bool on);
    static bool silent();

signals:
    void frameReceived(const QByteArray &payload);
    void keepAliveReceived();
    void closing(const QString &reason);

private slots:
    void onReadyRead();
    void onDisconnected();
    void onSlowTick();

private:
    void consume(const QByteArray &bytes);

    std::unique_ptr<QTcpSocket> m_socket;
    FrameReader m_reader{0};
    QString m_port;
    int m_id;
    bool m_closed = false;
    QTimer m_keepAlive;
    QTimer m_idle;
    QTimer m_slow;
    int m_readRate = 0;
    qint64 m_readMicros = 0;
};
