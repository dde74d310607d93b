// SPDX-License-Identifier: GPL-2.0-or-later
// The room emulator as a stream receiver for library tests: system-chosen
// ports, no discovery, its events read as they come.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

class StreamReceiver {
public:
    // pArguments come after the port options.
    bool start(const QStringList &pArguments)
    {
        process.setProgram(qEnvironmentVariable("VELMORANT_BUILD_DIR") + "/bin/room-emulator");
        process.setArguments(QStringList{"--bind", "127.0.0.1", "--udp-port", "0", "--tcp-port", "0", "--no-discovery",
                                         "--stream-port", "0"} +
                             pArguments);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start();
        port = quint16(waitFor([](const QJsonObject &e) { return e["event"] == "ready"; })["stream_port"].toInt());
        return port != 0;
    }
    ~StreamReceiver()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(2000);
    }

    void command(const QByteArray &pJsonLine) { process.write(pJsonLine + '\n'); }

    // The oldest not yet taken event that matches; an empty object on time-out.
    // Events that do not match stay for later calls: the two connections'
    // events interleave in any order.
    template <class Match> QJsonObject waitFor(Match pMatch, int pTimeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            while (process.canReadLine())
                pending.append(QJsonDocument::fromJson(process.readLine()).object());
            for (int i = 0; i < pending.size(); ++i)
                if (pMatch(pending[i]))
                    return pending.takeAt(i);
            if (timer.elapsed() > pTimeoutMs)
                return QJsonObject();
            process.waitForReadyRead(50);
            QCoreApplication::processEvents();
        }
    }

    QProcess process;
    quint16 port = 0;
    QList<QJsonObject> pending;
};
