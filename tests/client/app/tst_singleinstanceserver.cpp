// SPDX-License-Identifier: GPL-2.0-or-later
#include "constants.h"
#include "singleinstanceserver.h"

#include <QLocalSocket>
#include <QWidget>
#include <QtTest>

using namespace Velmorant;

class TestSingleInstanceServer : public QObject {
    Q_OBJECT
private slots:
    void onlyExactFocusRaises_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("focusRequests");
        QTest::newRow("FOCUS, visible") << QByteArray("FOCUS") << true << 1;
        QTest::newRow("FOCUS, hidden") << QByteArray("FOCUS") << false << 1;
        QTest::newRow("with line end") << QByteArray("FOCUS\n") << true << 0;
        QTest::newRow("lower case") << QByteArray("focus") << true << 0;
        QTest::newRow("nothing") << QByteArray() << true << 0;
    }
    void onlyExactFocusRaises()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, visible);
        QFETCH(int, focusRequests);

        QWidget window;
        if (visible)
            window.show();
        SingleInstanceServer server(&window);
        QVERIFY(server.isListening());
        QSignalSpy focus(&server, &SingleInstanceServer::focusRequested);

        QLocalSocket client;
        client.connectToServer(QLatin1String(kSingleInstanceName));
        QVERIFY(client.waitForConnected(1000));
        if (!message.isEmpty()) {
            client.write(message);
            client.flush();
        }
        // The server closes every connection, whatever arrived.
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QLocalSocket::UnconnectedState, 2000);
        QCOMPARE(focus.count(), focusRequests);
        QCOMPARE(window.isVisible(), visible);
    }

    void staleSocketFileDoesNotBlock()
    {
        // A crashed client leaves its socket file behind on Unix.
        const QString stale = QDir::tempPath() + "/" + kSingleInstanceName;
        QFile file(stale);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QWidget window;
        SingleInstanceServer server(&window);
        QVERIFY(server.isListening());
    }
};

QTEST_MAIN(TestSingleInstanceServer)
#include "tst_singleinstanceserver.moc"
