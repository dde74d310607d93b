// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// A byte-exact stream receiver for tests: accepts connections on a loopback
// port chosen by the system and reads and writes frames with blocking calls.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <memory>
#include <vector>

class RawPeer {
public:
    RawPeer() { server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return server.serverPort(); }

    // The next incoming connection, or null after the timeout.
    QTcpSocket *accept(int timeoutMs = 10000)
    {
        if (!server.hasPendingConnections() && !server.waitForNewConnection(timeoutMs))
            return nullptr;
        QTcpSocket *socket = server.nextPendingConnection();
        socket->setParent(nullptr);
        sockets.emplace_back(socket);
        return socket;
    }

    // Reads exactly `size` bytes.
    static bool readExactly(QTcpSocket *socket, char *out, qint64 size, int timeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        qint64 got = 0;
        while (got < size) {
            if (socket->bytesAvailable() == 0 &&
                !socket->waitForReadyRead(qMax<qint64>(1, timeoutMs - timer.elapsed())))
                return false;
            const qint64 n = socket->read(out + got, size - got);
            if (n < 0)
                return false;
            got += n;
            if (timer.elapsed() > timeoutMs && got < size)
                return false;
        }
        return true;
    }

    // One frame; a keep-alive gives an empty payload. False on time-out or close.
    static bool readFrame(QTcpSocket *socket, QByteArray &payload, int timeoutMs = 10000)
    {
        char length[4];
        if (!readExactly(socket, length, 4, timeoutMs))
            return false;
        const quint32 size = qFromLittleEndian<quint32>(length);
        payload = QByteArray(int(size), '\0');
        return size == 0 || readExactly(socket, payload.data(), size, timeoutMs);
    }

    // The next frame that is not a keep-alive.
    static QByteArray readMessage(QTcpSocket *socket, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        QByteArray payload;
        while (timer.elapsed() < timeoutMs) {
            if (!readFrame(socket, payload, timeoutMs))
                return QByteArray();
            if (!payload.isEmpty())
                return payload;
        }
        return QByteArray();
    }

    static void writeFrame(QTcpSocket *socket, const QByteArray &payload)
    {
        char length[4];
        qToLittleEndian<quint32>(quint32(payload.size()), length);
        socket->write(length, 4);
        socket->write(payload);
        socket->waitForBytesWritten(1000);
    }

    static QByteArray command(const char *name, const QByteArray &args = QByteArray())
    {
        return QByteArray(name).leftJustified(10, ' ') + args;
    }

    QTcpServer server;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
};
