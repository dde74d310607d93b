// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Test helpers: the emulator as a child process, its JSON-line events, and
// a blocking raw-socket frame peer written from the byte tables.

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <functional>

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

class EmulatorProcess {
public:
    ~EmulatorProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start(const QStringList &arguments)
    {
        QStringList args{QStringLiteral("--tcp-port"),    QStringLiteral("0"),
                         QStringLiteral("--udp-port"),    QStringLiteral("0"),
                         QStringLiteral("--stream-port"), QStringLiteral("0")};
        args += arguments;
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(ROOM_EMULATOR_PATH), args);
        if (!m_process.waitForStarted(10000))
            return false;
        m_ready = waitFor(QStringLiteral("ready"));
        return !m_ready.isEmpty();
    }

    quint16 tcpPort() const { return static_cast<quint16>(m_ready.value(QStringLiteral("tcp_port")).toInt()); }
    quint16 udpPort() const { return static_cast<quint16>(m_ready.value(QStringLiteral("udp_port")).toInt()); }
    quint16 streamPort() const { return static_cast<quint16>(m_ready.value(QStringLiteral("stream_port")).toInt()); }
    QProcess &process() { return m_process; }

    void command(const QJsonObject &cmd)
    {
        m_process.write(QJsonDocument(cmd).toJson(QJsonDocument::Compact) + '\n');
        m_process.waitForBytesWritten(5000);
    }

    // Next event (from the start, consumed in order) with this name that
    // matches; empty after the timeout.
    QJsonObject waitFor(const QString &name, const std::function<bool(const QJsonObject &)> &match = nullptr,
                        int timeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        for (bool last = false;;) {
            for (int i = 0; i < m_events.size(); ++i) {
                const QJsonObject &e = m_events.at(i);
                if (e.value(QStringLiteral("event")).toString() == name && (!match || match(e)))
                    return m_events.takeAt(i);
            }
            if (last)
                return QJsonObject();
            // One more look at what is left once time is up or the process is gone.
            last = timer.elapsed() > timeoutMs || m_process.state() == QProcess::NotRunning;
            if (!last)
                m_process.waitForReadyRead(50);
            readLines();
        }
    }

    // All events seen so far with this name (consumed).
    QList<QJsonObject> take(const QString &name)
    {
        readLines();
        QList<QJsonObject> out;
        for (int i = 0; i < m_events.size();) {
            if (m_events.at(i).value(QStringLiteral("event")).toString() == name)
                out.append(m_events.takeAt(i));
            else
                ++i;
        }
        return out;
    }

private:
    void readLines()
    {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine();
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            if (doc.isObject())
                m_events.append(doc.object());
            else
                qWarning("not an event line: %s", line.constData());
        }
    }

    QProcess m_process;
    QJsonObject m_ready;
    QList<QJsonObject> m_events;
};

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
