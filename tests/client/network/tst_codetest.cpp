// SPDX-License-Identifier: GPL-2.0-or-later
// The code test against a fake display server on loopback, and the room
// status computed from a found server.
#include "fakecodetestserver.h"

#include <network/codetest.h>
#include <network/roomstatus.h>
#include <network/serverfinder.h>

#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace Kiv::Network;
using TestPeers::answerJson;
using TestPeers::FakeCodeTestServer;
using TestPeers::frame;

namespace {

struct Step {
    int delayMs;
    QByteArray bytes; // "<close>" closes the connection
};
using Script = QList<Step>;

const QByteArray kKeepAlive("\0\0\0\0", 4);

} // namespace

Q_DECLARE_METATYPE(Script)

class TstCodeTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void exchange_data();
    void exchange();
    void secondTestRefreshesOtherIdAdds();
    void unreachableServer();
    void hugeAnswerRefusedWithOneLogLine();
    void roomStatus_data();
    void roomStatus();

private:
    // Runs one code test on a thread of its own, as the finder does, and
    // returns how long it took.
    qint64 runTest(const QString &code, quint16 port);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ServerFinder> m_finder;
    // How far the finder's clock runs ahead of the real one.
    std::atomic<qint64> m_aheadMs{0};
    int m_callbacks = 0;
};

void TstCodeTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_DIRS", m_dir->filePath("machine").toLocal8Bit());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_finder = std::make_unique<ServerFinder>(0);
    QDir::setCurrent(previous);
    m_aheadMs = 0;
    m_finder->setClock([this] { return QDateTime::currentDateTimeUtc().addMSecs(m_aheadMs.load()); });
    m_callbacks = 0;
    m_finder->setListChangedCallback([this](ServerFinder *) {
        QMetaObject::invokeMethod(
            this, [this] { ++m_callbacks; }, Qt::QueuedConnection);
    });
    m_finder->setCode("AB3DE");
}

void TstCodeTest::cleanup()
{
    m_finder.reset();
    m_dir.reset();
}

qint64 TstCodeTest::runTest(const QString &code, quint16 port)
{
    QElapsedTimer timer;
    timer.start();
    std::atomic<bool> done{false};
    std::thread thread([this, code, port, &done] {
        codeTest(m_finder.get(), code, "127.0.0.1", port);
        done = true;
    });
    if (!QTest::qWaitFor([&done] { return done.load(); }, 15000))
        qWarning("the code test still runs after 15 s");
    thread.join();
    QCoreApplication::processEvents();
    return timer.elapsed();
}

void TstCodeTest::exchange_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("listed");

    const QByteArray valid = frame(answerJson(true, "srv-7", "Salle 4", 3, 10, 2));
    QTest::newRow("valid answer") << Script{{0, valid}} << "AB3DE" << true;
    QTest::newRow("is_valid false") << Script{{0, frame(answerJson(false, "srv-7"))}} << "AB3DE" << false;
    QTest::newRow("is_valid missing") << Script{{0, frame(R"({"id":"srv-7","name":"n"})")}} << "AB3DE" << false;
    QTest::newRow("is_valid as text") << Script{{0, frame(R"({"is_valid":"true","id":"srv-7"})")}} << "AB3DE" << false;
    QTest::newRow("not JSON") << Script{{0, frame("is_valid: true")}} << "AB3DE" << false;
    QTest::newRow("keep-alives then answer in time")
        << Script{{0, kKeepAlive + kKeepAlive}, {300, kKeepAlive}, {600, valid}} << "AB3DE" << true;
    QTest::newRow("answer in pieces") << Script{{0, valid.left(3)}, {150, valid.mid(3, 20)}, {300, valid.mid(23)}}
                                      << "AB3DE" << true;
    QTest::newRow("keep-alives do not extend the limit")
        << Script{{0, kKeepAlive},    {400, kKeepAlive},  {800, kKeepAlive},  {1200, kKeepAlive},
                  {1600, kKeepAlive}, {2000, kKeepAlive}, {2400, kKeepAlive}, {2700, valid}}
        << "AB3DE" << false;
    QTest::newRow("no answer") << Script{} << "AB3DE" << false;
    QTest::newRow("peer closes") << Script{{100, "<close>"}} << "AB3DE" << false;
    QTest::newRow("payload stalls") << Script{{0, valid.left(30)}} << "AB3DE" << false;
    QTest::newRow("negative length") << Script{{0, frame("", -1)}, {50, valid}} << "AB3DE" << false;
    QTest::newRow("length above the bound")
        << Script{{0, frame("", 64 * 1024 * 1024 + 1) + answerJson(true, "srv-7")}} << "AB3DE" << false;
    QTest::newRow("test of an earlier code") << Script{{0, valid}} << "OLD12" << false;
    // Answers are capped at 64 KiB; real ones are about 100 bytes.
    const QByteArray json = answerJson(true, "srv-7", "Salle 4", 3, 10, 2);
    QTest::newRow("answer at the size limit")
        << Script{{0, frame(json + QByteArray(kMaxCodeTestAnswerSize - json.size(), ' '))}} << "AB3DE" << true;
    QTest::newRow("answer over the size limit")
        << Script{{0, frame(json + QByteArray(kMaxCodeTestAnswerSize + 1 - json.size(), ' '))}} << "AB3DE" << false;
    QTest::newRow("1 MiB answer") << Script{{0, frame(json + QByteArray(1 << 20, ' '))}} << "AB3DE" << false;
    QTest::newRow("repeated key") << Script{{0, frame(R"({"is_valid":true,"id":"srv-7","x":[1],"x":1})")}} << "AB3DE"
                                  << false;
}

void TstCodeTest::exchange()
{
    QFETCH(Script, script);
    QFETCH(QString, code);
    QFETCH(bool, listed);
    FakeCodeTestServer server;
    server.onRequest = [&](QTcpSocket *socket, const QJsonObject &) {
        QPointer<QTcpSocket> s(socket);
        for (const Step &step : qAsConst(script)) {
            QTimer::singleShot(step.delayMs, socket, [s, bytes = step.bytes] {
                if (!s)
                    return;
                if (bytes == "<close>")
                    s->close();
                else
                    s->write(bytes);
            });
        }
    };
    const qint64 took = runTest(code, server.port());
    // Every test ends within its limits: 2 s for the answer, whatever the peer.
    QVERIFY2(took < 4500, qPrintable(QString::number(took)));

    QCOMPARE(server.requests.size(), 1);
    const QJsonObject request = server.requests.first();
    QCOMPARE(request.size(), 3);
    QCOMPARE(request.value("connection_type").toString(), QString("CODE_TEST"));
    QCOMPARE(request.value("client_type").toString(), QString("CLIENT"));
    QCOMPARE(request.value("code_to_test").toString(), code);
    QVERIFY(server.rawRequests.first().contains("\n    \"")); // indented

    const QList<ServerInfo> servers = m_finder->getServers();
    QCOMPARE(servers.size(), listed ? 1 : 0);
    if (!listed)
        return;
    const ServerInfo &s = servers.first();
    QCOMPARE(s.name, QString("Salle 4"));
    QCOMPARE(s.address, QString("127.0.0.1"));
    QCOMPARE(s.port, server.port());
    QCOMPARE(s.type, quint16(2));
    QCOMPARE(s.id, QString("srv-7"));
    QCOMPARE(s.usersCount, 3);
    QCOMPARE(s.maxUsersCount, 10);
    QVERIFY(s.lastSeen.isValid());
    QVERIFY(!s.firstSeen.isValid());
    QTRY_COMPARE(m_callbacks, 1);
}

void TstCodeTest::secondTestRefreshesOtherIdAdds()
{
    FakeCodeTestServer server;
    QByteArray next = answerJson(true, "srv", "Room", 1, 8);
    server.onRequest = [&](QTcpSocket *s, const QJsonObject &) { s->write(frame(next)); };
    runTest("AB3DE", server.port());
    QCOMPARE(m_finder->getServers().size(), 1);
    const QDateTime first = m_finder->getServers().first().lastSeen;

    m_aheadMs += 1000;
    next = answerJson(true, "srv", "Renamed", 5, 9);
    runTest("AB3DE", server.port());
    QList<ServerInfo> servers = m_finder->getServers();
    QCOMPARE(servers.size(), 1);
    QCOMPARE(servers.first().name, QString("Room"));
    QCOMPARE(servers.first().usersCount, 5);
    QCOMPARE(servers.first().maxUsersCount, 9);
    QVERIFY(servers.first().lastSeen > first);

    next = answerJson(true, "srv-b", "Other", 0, 4);
    runTest("AB3DE", server.port());
    servers = m_finder->getServers();
    QCOMPARE(servers.size(), 2);
    QCOMPARE(servers.at(1).id, QString("srv-b"));
    QTRY_COMPARE(m_callbacks, 3);
}

void TstCodeTest::unreachableServer()
{
    quint16 port = 0;
    {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        port = s.serverPort();
    }
    QVERIFY(runTest("AB3DE", port) < 3000);
    QVERIFY(m_finder->getServers().isEmpty());
}

namespace {
QMutex g_logLock;
QStringList g_log;
void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtWarningMsg) {
        QMutexLocker lock(&g_logLock);
        g_log << text;
    }
}
} // namespace

void TstCodeTest::hugeAnswerRefusedWithOneLogLine()
{
    // The first answer is 1 MiB, refused from its header; the next test of
    // the same server still finds it.
    FakeCodeTestServer server;
    int answered = 0;
    const QByteArray json = answerJson(true, "srv-7", "Salle 4", 3, 10, 2);
    server.onRequest = [&](QTcpSocket *s, const QJsonObject &) {
        s->write(frame(answered++ == 0 ? json + QByteArray(1 << 20, ' ') : json));
    };
    g_log.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    runTest("AB3DE", server.port());
    qInstallMessageHandler(previous);
    QVERIFY(m_finder->getServers().isEmpty());
    {
        QMutexLocker lock(&g_logLock);
        QCOMPARE(g_log.size(), 1);
        QVERIFY2(g_log.first().contains(QStringLiteral("127.0.0.1:%1").arg(server.port())), qPrintable(g_log.first()));
        QVERIFY2(g_log.first().contains(QString::number((1 << 20) + json.size())), qPrintable(g_log.first()));
    }
    runTest("AB3DE", server.port());
    QCOMPARE(m_finder->getServers().size(), 1);
}

void TstCodeTest::roomStatus_data()
{
    QTest::addColumn<int>("users");
    QTest::addColumn<int>("maxUsers");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("join");
    QTest::newRow("3 of 10") << 3 << 10 << "3 / 10 users." << true << true;
    QTest::newRow("full") << 10 << 10 << "Meeting is full.\n10 / 10 users." << true << false;
    QTest::newRow("over full") << 12 << 10 << "Meeting is full.\n12 / 10 users." << true << false;
    QTest::newRow("no limit") << 5 << 0 << "" << false << true;
    QTest::newRow("negative limit") << 5 << -1 << "" << false << true;
    QTest::newRow("no user") << -1 << 10 << "No user." << true << true;
    QTest::newRow("zero users") << 0 << 1 << "0 / 1 users." << true << true;
}

void TstCodeTest::roomStatus()
{
    ServerInfo server;
    server.name = "Salle Bleue";
    QFETCH(int, users);
    QFETCH(int, maxUsers);
    server.usersCount = users;
    server.maxUsersCount = maxUsers;
    const RoomStatus status = Kiv::Network::roomStatus(server);
    QCOMPARE(status.roomLabel, QString("Salle Bleue"));
    QTEST(status.userCountText, "line");
    QTEST(status.userCountVisible, "visible");
    QTEST(status.joinAllowed, "join");
}

QTEST_GUILESS_MAIN(TstCodeTest)
#include "tst_codetest.moc"
