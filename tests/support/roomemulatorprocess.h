// SPDX-License-Identifier: GPL-2.0-or-later
// Runs the room emulator for a test: starts it on system-chosen ports,
// reads its "ready" event and collects every event line it writes.
#pragma once

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

class RoomEmulatorProcess {
public:
    // pArguments come after the port options.
    bool start(const QStringList &pArguments)
    {
        const QString program = qEnvironmentVariable("VELMORANT_ROOM_EMULATOR");
        m_process.setProgram(program);
        m_process.setArguments(QStringList{"--bind", "127.0.0.1", "--tcp-port", "0", "--udp-port", "0", "--stream-port",
                                           "0", "--quit-on-eof"} +
                               pArguments);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setReadChannel(QProcess::StandardOutput);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        return !waitForEvent("ready", 10000).isEmpty();
    }

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

    quint16 tcpPort() const { return quint16(m_ready.value("tcp_port").toInt()); }
    quint16 udpPort() const { return quint16(m_ready.value("udp_port").toInt()); }

    void command(const QByteArray &pJsonLine) { m_process.write(pJsonLine + '\n'); }

    // The first event of that name not yet returned, waiting up to pTimeoutMs.
    QJsonObject waitForEvent(const QString &pName, int pTimeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            readLines();
            for (int i = m_consumed; i < m_events.size(); ++i) {
                if (m_events[i].value("event").toString() == pName) {
                    m_consumed = i + 1;
                    return m_events[i];
                }
            }
            if (clock.elapsed() > pTimeoutMs || m_process.state() == QProcess::NotRunning)
                return {};
            m_process.waitForReadyRead(50);
            QCoreApplication::processEvents();
        }
    }

    const QList<QJsonObject> &events()
    {
        readLines();
        return m_events;
    }

private:
    void readLines()
    {
        while (m_process.canReadLine()) {
            const QJsonObject event = QJsonDocument::fromJson(m_process.readLine()).object();
            if (event.value("event").toString() == "ready")
                m_ready = event;
            m_events << event;
        }
    }

    QProcess m_process;
    QJsonObject m_ready;
    QList<QJsonObject> m_events;
    int m_consumed = 0;
};
