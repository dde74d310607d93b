// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Test helpers: a blocking raw-socket frame peer written from the byte
// tables; the emulator process itself is tests/support/roomemulatorprocess.h.

#include "../../support/roomemulatorprocess.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

inline QByteArray le32(quint32 v)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xff));
    return out;
}

inline quint32 readLe32(const QByteArray &b, int offset)
{
    const auto *p = reinterpret_cast<const unsigned char *>(b.constData() + offset);
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

inline quint16 readLe16(const QByteArray &b, int offset)
{
    const auto *p = reinterpret_cast<const unsigned char *>(b.constData() + offset);
    return static_cast<quint16>(p[0] | (p[1] << 8));
}

inline QByteArray frameOf(const QByteArray &payload)
{
    return le32(static_cast<quint32>(payload.size())) + payload;
}

inline QByteArray commandOf(const char *name, const QByteArray &args = QByteArray())
{
    return QByteArray(name).leftJustified(10, ' ') + args;
}

// A blocking framed peer on one TCP connection.
class FramePeer {
public:
    bool connectTo(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        return m_socket.waitForConnected(10000);
    }
    QTcpSocket &socket() { return m_socket; }

    void send(const QByteArray &payload) { sendRaw(frameOf(payload)); }
    void sendRaw(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.waitForBytesWritten(10000);
    }

    bool readExactly(int n, QByteArray *out, int timeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (m_socket.bytesAvailable() < n) {
            if (timer.elapsed() > timeoutMs || m_socket.state() != QAbstractSocket::ConnectedState) {
                if (m_socket.bytesAvailable() >= n)
                    break;
                return false;
            }
            m_socket.waitForReadyRead(100);
        }
        *out = m_socket.read(n);
        return true;
    }

    // Next frame; keep-alives are skipped unless wanted. Null on failure.
    QByteArray readFrame(bool skipKeepAlives = true, int timeoutMs = 20000)
    {
        for (;;) {
            QByteArray length;
            if (!readExactly(4, &length, timeoutMs))
                return QByteArray();
            const quint32 n = readLe32(length, 0);
            if (n == 0) {
                if (skipKeepAlives)
                    continue;
                return QByteArray("");
            }
            if (n > 64u * 1024 * 1024)
                return QByteArray();
            QByteArray payload;
            if (!readExactly(static_cast<int>(n), &payload, timeoutMs))
                return QByteArray();
            return payload;
        }
    }

    // True once the peer closed the connection (within the timeout).
    bool waitClosed(int timeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (m_socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < timeoutMs) {
            m_socket.waitForReadyRead(100);
            m_socket.readAll();
        }
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

private:
    QTcpSocket m_socket;
};

// Greets a session and reads its three opening messages.
inline bool openSession(FramePeer &peer, quint16 port)
{
    if (!peer.connectTo(port))
        return false;
    peer.send(QByteArrayLiteral("{ \"connection_type\" : \"CLIENT\"}"));
    for (int i = 0; i < 3; ++i) {
        if (peer.readFrame().isNull())
            return false;
    }
    return true;
}
