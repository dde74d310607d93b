// SPDX-License-Identifier: GPL-2.0-or-later
// The update exchanges against a scripted server on loopback. The server
// side is written from the wire layout: 4-byte little-endian length, payload.
#include "threaddownloadupdate.h"
#include "updatechecker.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <functional>
#include <future>
#include <thread>

using namespace Velmorant;

namespace {

QByteArray frame(const QByteArray &payload)
{
    QByteArray out(4, 0);
    qToLittleEndian<qint32>(payload.size(), out.data());
    return out + payload;
}

QByteArray le32(quint32 v)
{
    QByteArray out(4, 0);
    qToLittleEndian<quint32>(v, out.data());
    return out;
}

bool readExactly(QTcpSocket &s, qint64 n, QByteArray &out)
{
    while (s.bytesAvailable() < n)
        if (!s.waitForReadyRead(5000))
            return false;
    out = s.read(n);
    return true;
}

// Serves one connection on its own thread with a blocking script.
class ScriptedServer {
public:
    using Script = std::function<void(QTcpSocket &)>;
    explicit ScriptedServer(Script script)
    {
        std::promise<quint16> port;
        auto ready = port.get_future();
        m_thread = std::thread([this, script, p = std::move(port)]() mutable {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            p.set_value(server.serverPort());
            if (!server.waitForNewConnection(5000))
                return;
            QTcpSocket *socket = server.nextPendingConnection();
            QByteArray length, payload;
            if (readExactly(*socket, 4, length)
                && readExactly(*socket, qFromLittleEndian<qint32>(length.constData()), payload))
                m_request = payload;
            script(*socket);
            socket->waitForBytesWritten(5000);
            socket->close();
            delete socket;
        });
        m_port = ready.get();
    }
    ~ScriptedServer()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    quint16 port() const { return m_port; }
    QByteArray request()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_request;
    }

private:
    std::thread m_thread;
    quint16 m_port = 0;
    QByteArray m_request;
};

UpdateChecker makeChecker() = delete;

void identify(UpdateChecker &c, quint16 port)
{
    c.setIdentity("VELM_CLIENT", "25.12.1", "1.2");
    c.setServer(QHostAddress::LocalHost, port);
}

// A server that sends a header and then chunks, each only after the
// client's 4 zero bytes; it records how many acknowledgements it saw.
ScriptedServer::Script chunkedInstaller(const QByteArray &installer, quint32 announced, int chunk, int *acks,
                                        int closeAfterChunks = -1)
{
    return [=](QTcpSocket &s) {
        s.write(frame(QByteArray()));
        s.write(frame(le32(announced) + "ignored"));
        int sent = 0;
        for (int at = 0; at < installer.size(); at += chunk) {
            if (sent == closeAfterChunks)
                return;
            s.write(frame(installer.mid(at, chunk)));
            s.waitForBytesWritten(5000);
            ++sent;
            QByteArray ack;
            if (!readExactly(s, 4, ack) || ack != QByteArray(4, 0))
                return;
            ++*acks;
        }
    };
}

QByteArray pattern(int size)
{
    QByteArray data(size, 0);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 7 + i / 251) & 0xff);
    return data;
}

QByteArray fileContent(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestUpdateChecker : public QObject {
    Q_OBJECT
private slots:
    void init() { QDir(QFileInfo(UpdateChecker::installerPath()).absolutePath()).removeRecursively(); }

    void requestText()
    {
        ScriptedServer server([](QTcpSocket &s) { s.write(frame(QByteArray("\x00", 1))); });
        UpdateChecker checker;
        identify(checker, server.port());
        QVERIFY(checker.check());
        const QByteArray text = server.request();
        // jsoncpp's styled layout: three-space indent, " : ", keys sorted.
        QVERIFY2(text.startsWith("{\n   \"action\" : \"check\",\n   \"applicationName\" : \"VELM_CLIENT\""), text);
        const QJsonObject o = QJsonDocument::fromJson(text).object();
        QCOMPARE(o.value("connection_type").toString(), QString("CLIENT_UPDATE"));
        QCOMPARE(o.value("connection_protocol").toInt(), 1);
        QCOMPARE(o.value("applicationVersion").toString(), QString("25.12.1"));
        QCOMPARE(o.value("protocolVersion").toString(), QString("1.2"));
        QCOMPARE(o.value("platformName").toString(), QString("linux"));
        QCOMPARE(o.size(), 7);
        QVERIFY(checker.request("get").contains("\"action\" : \"get\""));
    }

    void answers_data()
    {
        QTest::addColumn<QByteArray>("reply"); // raw bytes the server sends
        QTest::addColumn<bool>("answered");
        QTest::addColumn<int>("status"); // starting from UpdateAvailable
        QTest::newRow("0 up to date") << frame(QByteArray("\x00", 1)) << true << 0;
        QTest::newRow("1 available") << frame("\x01") << true << 2;
        QTest::newRow("2 required") << frame("\x02") << true << 1;
        QTest::newRow("3 too recent") << frame("\x03") << true << 3;
        QTest::newRow("4 no update") << frame("\x04") << true << 4;
        QTest::newRow("9 unknown") << frame("\x09") << true << 2;
        QTest::newRow("keep-alives first") << frame({}) + frame({}) + frame("\x02") << true << 1;
        QTest::newRow("length 5, one byte read") << frame("\x03zzzz") << true << 3;
        QTest::newRow("closed without answer") << QByteArray() << false << 2;
        QTest::newRow("only keep-alives") << frame({}) << false << 2;
    }
    void answers()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, answered);
        QFETCH(int, status);
        UpdateChecker checker;
        {
            ScriptedServer first([](QTcpSocket &s) { s.write(frame("\x01")); });
            identify(checker, first.port());
            QVERIFY(checker.check());
        }
        QCOMPARE(checker.status(), 2);
        ScriptedServer server([reply](QTcpSocket &s) { s.write(reply); });
        checker.setServer(QHostAddress::LocalHost, server.port());
        QCOMPARE(checker.check(), answered);
        QCOMPARE(checker.status(), status);
    }

    void unreachableServerFails()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        UpdateChecker checker;
        identify(checker, port);
        QVERIFY(!checker.check());
        QVERIFY(checker.download().isEmpty());
        QCOMPARE(checker.status(), 0);
    }

    void downloadInChunks()
    {
        const QByteArray installer = pattern(120000);
        int acks = 0;
        // An installer left by an earlier download is replaced.
        QDir().mkpath(QFileInfo(UpdateChecker::installerPath()).absolutePath());
        QFile old(UpdateChecker::installerPath());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older installer that is longer than nothing");
        old.close();

        ScriptedServer server(chunkedInstaller(installer, installer.size(), 16384, &acks));
        UpdateChecker checker;
        identify(checker, server.port());
        const QString path = checker.download();
        QCOMPARE(path, UpdateChecker::installerPath());
        QVERIFY(path.endsWith("/VelmorantClient/updater"));
        QVERIFY(fileContent(path) == installer);
        server.request();
        QCOMPARE(acks, (120000 + 16383) / 16384);
    }

    void downloadOfNothingSavesEmptyFile()
    {
        int acks = 0;
        ScriptedServer server(chunkedInstaller({}, 0, 1, &acks));
        UpdateChecker checker;
        identify(checker, server.port());
        const QString path = checker.download();
        QVERIFY(!path.isEmpty());
        QCOMPARE(fileContent(path), QByteArray());
    }

    void failedDownloadsLeaveNothing_data()
    {
        QTest::addColumn<int>("announced");
        QTest::addColumn<int>("closeAfterChunks");
        QTest::newRow("more than announced") << 1000 << -1;
        QTest::newRow("closed midway") << 5000 << 2;
    }
    void failedDownloadsLeaveNothing()
    {
        QFETCH(int, announced);
        QFETCH(int, closeAfterChunks);
        int acks = 0;
        ScriptedServer server(chunkedInstaller(pattern(5000), announced, 1500, &acks, closeAfterChunks));
        UpdateChecker checker;
        identify(checker, server.port());
        QCOMPARE(checker.download(), QString());
        QVERIFY(!QFile::exists(UpdateChecker::installerPath()));
    }

    void threadReportsPath()
    {
        int acks = 0;
        ScriptedServer server(chunkedInstaller(pattern(3000), 3000, 1000, &acks));
        UpdateChecker checker;
        identify(checker, server.port());
        ThreadDownloadUpdate thread;
        thread.setUpdateChecker(&checker);
        QSignalSpy ended(&thread, &ThreadDownloadUpdate::sigDownloadUpdateEnded);
        thread.start();
        QVERIFY(ended.wait(10000));
        QCOMPARE(ended.first().first().toString(), UpdateChecker::installerPath());
        thread.wait();
    }
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
