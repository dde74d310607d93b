// SPDX-License-Identifier: GPL-2.0-or-later
// Starts the real program: the single-instance hand-over and a start without
// translation catalogues.
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const char kName[] = "AppVelmorantAccessClient";

QString clientProgram()
{
    return qEnvironmentVariable("VELMORANT_CLIENT");
}

bool waitForServer(int timeoutMs)
{
    return QTest::qWaitFor(
        [] {
            QLocalSocket probe;
            probe.connectToServer(kName);
            return probe.waitForConnected(100);
        },
        timeoutMs);
}

void stop(QProcess &p)
{
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(1000);
    }
}
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void secondStartSendsFocusAndExits()
    {
        QLocalServer server;
        QVERIFY(server.listen(kName));
        QProcess second;
        QElapsedTimer clock;
        clock.start();
        second.start(clientProgram(), QStringList());
        QVERIFY(server.waitForNewConnection(3000));
        QLocalSocket *socket = server.nextPendingConnection();
        QByteArray received;
        while (socket->waitForReadyRead(500))
            received += socket->readAll();
        received += socket->readAll();
        QVERIFY(second.waitForFinished(3000));
        QCOMPARE(received, QByteArray("FOCUS"));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
    }

    void secondStartAgainstRunningClient()
    {
        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start(clientProgram(), QStringList());
        QVERIFY(waitForServer(10000));

        QProcess second;
        QElapsedTimer clock;
        clock.start();
        second.start(clientProgram(), QStringList());
        QVERIFY(second.waitForFinished(5000));
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(elapsed < 1100 + 500, qPrintable(QString("took %1 ms").arg(elapsed)));
        QCOMPARE(first.state(), QProcess::Running);
        stop(first);
    }

    void relaunchWaitsForThePreviousInstance()
    {
        // The instance that asked for the relaunch still listens for a while.
        auto old = std::make_unique<QLocalServer>();
        QLocalServer::removeServer(kName); // left by a client an earlier case terminated
        QVERIFY(old->listen(kName));
        QProcess relaunched;
        relaunched.setProcessChannelMode(QProcess::ForwardedChannels);
        relaunched.start(clientProgram(), QStringList{"--velmorant-relaunched"});
        QByteArray received;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1500) {
            if (old->waitForNewConnection(50)) {
                QLocalSocket *socket = old->nextPendingConnection();
                socket->waitForReadyRead(150);
                received += socket->readAll();
                socket->abort();
                delete socket;
            }
        }
        old.reset();                      // the old instance exits
        QCOMPARE(received, QByteArray()); // no "FOCUS" for a client that is leaving
        QVERIFY(waitForServer(10000));
        QCOMPARE(relaunched.state(), QProcess::Running);
        stop(relaunched);
    }

    void startsWithoutCatalogues()
    {
        // A copy of the program in a folder without languages/.
        QTemporaryDir dir;
        const QString copy = dir.filePath("VelmorantClient");
        QVERIFY(QFile::copy(clientProgram(), copy));
        QFileInfo original(clientProgram());
        for (const QFileInfo &lib : original.dir().entryInfoList({"*.so", "*.so.*"}, QDir::Files))
            QFile::copy(lib.filePath(), dir.filePath(lib.fileName()));
        QFile::setPermissions(copy, QFile::permissions(clientProgram()));
        QVERIFY(!QDir(dir.filePath("languages")).exists());

        QProcess client;
        client.setProcessChannelMode(QProcess::ForwardedChannels);
        client.start(copy, QStringList());
        QVERIFY(waitForServer(10000));
        QCOMPARE(client.state(), QProcess::Running);
        stop(client);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
