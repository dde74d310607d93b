// SPDX-License-Identifier: GPL-2.0-or-later
// Runs the room emulator for a test: starts it on loopback with
// system-chosen ports, reads its "ready" event and collects every event line
// it writes. The program is $VELMORANT_ROOM_EMULATOR (the tests' CMake sets
// it).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QVector>

#include <functional>

class RoomEmulatorProcess {
public:
    using Match = std::function<bool(const QJsonObject &)>;

    ~RoomEmulatorProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

    // pArguments come after the address and port options.
    bool start(const QStringList &pArguments)
    {
        m_process.setProgram(qEnvironmentVariable("VELMORANT_ROOM_EMULATOR"));
        m_process.setArguments(QStringList{"--bind", "127.0.0.1", "--tcp-port", "0", "--udp-port", "0", "--stream-port",
                                           "0", "--quit-on-eof"} +
                               pArguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setReadChannel(QProcess::StandardOutput);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        m_ready = waitForEvent("ready", 10000);
        return !m_ready.isEmpty();
    }

    quint16 tcpPort() const { return quint16(m_ready.value("tcp_port").toInt()); }
    quint16 udpPort() const { return quint16(m_ready.value("udp_port").toInt()); }
    quint16 streamPort() const { return quint16(m_ready.value("stream_port").toInt()); }
    QProcess &process() { return m_process; }

    // One control line (a JSON object) on the emulator's standard input.
    void command(const QByteArray &pJsonLine)
    {
        m_process.write(pJsonLine + '\n');
        m_process.waitForBytesWritten(5000);
    }
    void command(const QJsonObject &pCommand) { command(QJsonDocument(pCommand).toJson(QJsonDocument::Compact)); }

    // The oldest event of that name, not yet taken, that pMatch accepts;
    // taken by this call. Waits up to pTimeoutMs, running the caller's event
    // loop meanwhile; empty when none came.
    QJsonObject waitForEvent(const QString &pName, int pTimeoutMs = 20000, const Match &pMatch = {})
    {
        QElapsedTimer clock;
        clock.start();
        for (bool last = false;;) {
            readLines();
            for (int i = 0; i < m_events.size(); ++i) {
                if (!m_taken[i] && m_events[i].value("event").toString() == pName && (!pMatch || pMatch(m_events[i]))) {
                    m_taken[i] = true;
                    return m_events[i];
                }
            }
            if (last)
                return {};
            // One more look at what is left once time is up or the process is gone.
            last = clock.elapsed() > pTimeoutMs || m_process.state() == QProcess::NotRunning;
            if (!last)
                m_process.waitForReadyRead(50);
            QCoreApplication::processEvents();
        }
    }
    QJsonObject waitForEvent(const QString &pName, const Match &pMatch, int pTimeoutMs = 20000)
    {
        return waitForEvent(pName, pTimeoutMs, pMatch);
    }

    // Every event of that name seen so far and not yet taken; takes them.
    QList<QJsonObject> take(const QString &pName)
    {
        readLines();
        QList<QJsonObject> out;
        for (int i = 0; i < m_events.size(); ++i) {
            if (!m_taken[i] && m_events[i].value("event").toString() == pName) {
                m_taken[i] = true;
                out << m_events[i];
            }
        }
        return out;
    }

    // Every event seen so far, taken or not, in order.
    const QList<QJsonObject> &events()
    {
        readLines();
        return m_events;
    }

private:
    void readLines()
    {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine();
            const QJsonDocument document = QJsonDocument::fromJson(line);
            if (!document.isObject()) {
                qWarning("not an event line: %s", line.constData());
                continue;
            }
            m_events << document.object();
            m_taken << false;
        }
    }

    QProcess m_process;
    QJsonObject m_ready;
    QList<QJsonObject> m_events;
    QVector<bool> m_taken;
};
