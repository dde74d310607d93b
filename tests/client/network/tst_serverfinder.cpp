// SPDX-License-Identifier: GPL-2.0-or-later
// Server discovery against fake display servers on loopback: a UDP peer that
// answers discovery requests, built from the datagram layouts by hand, and a
// TCP peer for code tests.
#include "fakecodetestserver.h"

#include <network/discoverymessage.h>
#include <network/serverfinder.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

using namespace Kiv::Network;
using TestPeers::FakeCodeTestServer;

namespace {

void put16(QByteArray &b, int at, quint16 v)
{
    b[at] = char(v & 0xff);
    b[at + 1] = char(v >> 8);
}

void put32(QByteArray &b, int at, qint32 v)
{
    const quint32 u = quint32(v);
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((u >> (8 * i)) & 0xff);
}

void putText(QByteArray &b, int at, int size, const QByteArray &text)
{
    for (int i = 0; i < size && i < text.size(); ++i)
        b[at + i] = text[i];
}

// The 288-byte discovery answer.
QByteArray answer(const QByteArray &id, const QByteArray &name, const QByteArray &code, quint16 port, quint16 type = 2,
                  qint32 users = 3, qint32 maxUsers = 10, int size = 288)
{
    QByteArray b(size, '\0');
    putText(b, 0, 16, id);
    putText(b, 16, 255, name);
    putText(b, 271, 5, code);
    if (size >= 288) {
        put16(b, 276, port);
        put16(b, 278, type);
        put32(b, 280, users);
        put32(b, 284, maxUsers);
    }
    return b;
}

quint16 refusedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// Answers discovery requests on loopback as a display server would.
class FakeDiscoveryServer : public QObject {
public:
    struct Request {
        QByteArray bytes;
        QElapsedTimer at;
    };
    QList<Request> requests;
    // Datagrams sent back for a request; by default nothing.
    std::function<QList<QByteArray>(const QByteArray &request, int index)> reply;
    QElapsedTimer lastReply;

    FakeDiscoveryServer()
    {
        socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
        connect(&socket, &QUdpSocket::readyRead, this, [this] {
            while (socket.hasPendingDatagrams()) {
                QByteArray data(int(socket.pendingDatagramSize()), '\0');
                QHostAddress from;
                quint16 fromPort = 0;
                socket.readDatagram(data.data(), data.size(), &from, &fromPort);
                Request r{data, {}};
                r.at.start();
                requests.append(r);
                if (!reply)
                    continue;
                const QList<QByteArray> out = reply(data, requests.size() - 1);
                for (const QByteArray &d : out)
                    socket.writeDatagram(d, from, fromPort);
                if (!out.isEmpty())
                    lastReply.start();
            }
        });
    }
    quint16 port() const { return socket.localPort(); }
    int countFor(const QByteArray &code) const
    {
        int n = 0;
        for (const Request &r : requests)
            n += r.bytes.mid(2, 5) == code;
        return n;
    }

    QUdpSocket socket;
};

// Stands for the code window: the callback only queues a signal.
class Watcher : public QObject {
    Q_OBJECT
signals:
    void listChanged();
};

QStringList ids(const QList<ServerInfo> &servers)
{
    QStringList out;
    for (const ServerInfo &s : servers)
        out << s.id;
    return out;
}

} // namespace

class TstServerFinder : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void answerLayout_data();
    void answerLayout();
    void requestBytes();
    void answers_data();
    void answers();
    void silentServerExpires();
    void codeTestKeepsServerWithoutBroadcast();
    void newCodeRestartsIncompleteCodeKeeps();
    void pausedSendsNothingExpiresNothing();
    void destroyedWhileACodeTestWaits();
    void hugeCodeTestAnswersDoNotStopTheSearch();

private:
    // A finder with unicast discovery towards one configured loopback server
    // whose TCP port refuses, sending to the fake's UDP port.
    std::unique_ptr<ServerFinder> makeFinder(quint16 udpPort, quint16 tcpPort, std::function<QDateTime()> clock = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Watcher> m_watcher;
    std::unique_ptr<QSignalSpy> m_changes;
};

void TstServerFinder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("XDG_DATA_DIRS", m_dir->filePath("machine").toLocal8Bit());
    m_watcher = std::make_unique<Watcher>();
    m_changes = std::make_unique<QSignalSpy>(m_watcher.get(), &Watcher::listChanged);
}

void TstServerFinder::cleanup()
{
    m_changes.reset();
    m_watcher.reset();
    m_dir.reset();
}

std::unique_ptr<ServerFinder> TstServerFinder::makeFinder(quint16 udpPort, quint16 tcpPort,
                                                          std::function<QDateTime()> clock)
{
    QFile f(m_dir->filePath("network.json"));
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral(R"({"udpUnicast": true, "servers": ["127.0.0.1:%1"]})").arg(tcpPort).toUtf8());
    f.close();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    auto finder = std::make_unique<ServerFinder>(udpPort);
    QDir::setCurrent(previous);
    Watcher *watcher = m_watcher.get();
    finder->setListChangedCallback(
        [watcher](ServerFinder *) { QMetaObject::invokeMethod(watcher, "listChanged", Qt::QueuedConnection); });
    finder->setClock(std::move(clock));
    finder->start();
    return finder;
}

void TstServerFinder::answerLayout_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("users");
    QTest::addColumn<int>("maxUsers");

    QTest::newRow("full answer") << answer("srv-1", "  Salle Bleue \n", " AB3D", 18413, 2, 3, 10) << true << "srv-1"
                                 << "Salle Bleue"
                                 << "AB3D" << 18413 << 2 << 3 << 10;
    QTest::newRow("fields fill their width")
        << answer("0123456789abcdef", QByteArray(255, 'n'), "ZZZZZ", 65535, 65535, -1, 2147483647) << true
        << "0123456789abcdef" << QString(255, 'n') << "ZZZZZ" << 65535 << 65535 << -1 << 2147483647;
    QTest::newRow("UTF-8 name") << answer("x", "Salle \xc3\xa9t\xc3\xa9", "AB3DE", 1) << true << "x"
                                << QString::fromUtf8("Salle \xc3\xa9t\xc3\xa9") << "AB3DE" << 1 << 2 << 3 << 10;
    QTest::newRow("longer datagram, first 288 bytes used")
        << answer("x", "n", "AB3DE", 7) + QByteArray(700, '\xff') << true << "x"
        << "n"
        << "AB3DE" << 7 << 2 << 3 << 10;
    QTest::newRow("287 bytes ignored") << answer("x", "n", "AB3DE", 7, 2, 3, 10, 287) << false << ""
                                       << ""
                                       << "" << 0 << 0 << 0 << 0;
    QTest::newRow("empty ignored") << QByteArray() << false << ""
                                   << ""
                                   << "" << 0 << 0 << 0 << 0;
}

void TstServerFinder::answerLayout()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    DiscoveryAnswer a;
    QCOMPARE(parseDiscoveryAnswer(datagram, &a), accepted);
    if (!accepted)
        return;
    QTEST(a.id, "id");
    QTEST(a.name, "name");
    QTEST(a.code, "code");
    QTEST(int(a.port), "port");
    QTEST(int(a.type), "type");
    QTEST(int(a.usersCount), "users");
    QTEST(int(a.maxUsersCount), "maxUsers");
}

void TstServerFinder::requestBytes()
{
    FakeDiscoveryServer udp;
    auto finder = makeFinder(udp.port(), refusedPort());
    finder->setCode("AB3DE");
    // The first four passes of a new code each send one request.
    QTRY_COMPARE_WITH_TIMEOUT(udp.requests.size(), 4, 10000);
    for (const FakeDiscoveryServer::Request &r : qAsConst(udp.requests)) {
        const QByteArray &b = r.bytes;
        QCOMPARE(b.size(), 14);
        QCOMPARE(b.at(0), '\0');
        QCOMPARE(b.at(1), '\0');
        QCOMPARE(b.mid(2, 5), QByteArray("AB3DE"));
        QCOMPARE(b.mid(7, 6), QByteArray("CLIENT"));
        QCOMPARE(b.at(13), '\0');
    }
}

void TstServerFinder::answers_data()
{
    // What the server sends back for the first request; a control answer
    // ("ctrl") always follows, so that once it is listed, everything sent
    // before it has been handled (one datagram per pass, in order).
    QTest::addColumn<QList<QByteArray>>("datagrams");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("answer shorter than 288 bytes ignored")
        << QList<QByteArray>{answer("short", "n", "AB3DE", 1, 2, 3, 10, 287)} << QStringList{"ctrl"};
    QTest::newRow("answer for another code ignored")
        << QList<QByteArray>{answer("other", "n", "XB3DE", 1)} << QStringList{"ctrl"};
    QTest::newRow("two ids on one address and port make two entries")
        << QList<QByteArray>{answer("one", "n", "AB3DE", 1), answer("two", "n", "AB3DE", 1)}
        << QStringList{"one", "two", "ctrl"};
    QTest::newRow("same triple updates one entry")
        << QList<QByteArray>{answer("one", "n", "AB3DE", 1, 2, 1, 10), answer("one", "n", "AB3DE", 1, 2, 7, 12)}
        << QStringList{"one", "ctrl"};
    QTest::newRow("same id on another port is another server")
        << QList<QByteArray>{answer("one", "n", "AB3DE", 1), answer("one", "n", "AB3DE", 2)}
        << QStringList{"one", "one", "ctrl"};
}

void TstServerFinder::answers()
{
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(QStringList, expected);
    const quint16 refused = refusedPort();
    FakeDiscoveryServer udp;
    udp.reply = [&](const QByteArray &, int index) {
        return index == 0 ? datagrams + QList<QByteArray>{answer("ctrl", " Control room ", "AB3DE", refused, 2, 4, 9)}
                          : QList<QByteArray>();
    };
    auto finder = makeFinder(udp.port(), refused);
    finder->setCode("AB3DE");
    QTRY_VERIFY_WITH_TIMEOUT(ids(finder->getServers()).contains("ctrl"), 10000);
    const QList<ServerInfo> servers = finder->getServers();
    QCOMPARE(ids(servers), expected);
    QTRY_VERIFY(m_changes->count() > 0);
    const ServerInfo &ctrl = servers.last();
    QCOMPARE(ctrl.name, QString("Control room"));
    QCOMPARE(ctrl.address, QString("127.0.0.1"));
    QCOMPARE(ctrl.port, refused);
    QCOMPARE(ctrl.type, quint16(2));
    QCOMPARE(ctrl.usersCount, 4);
    QCOMPARE(ctrl.maxUsersCount, 9);
    QVERIFY(ctrl.firstSeen.isValid());
    QVERIFY(ctrl.lastSeen.isValid());
    if (QByteArray(QTest::currentDataTag()) == "same triple updates one entry") {
        QCOMPARE(servers.first().usersCount, 7);
        QCOMPARE(servers.first().maxUsersCount, 12);
    }
}

void TstServerFinder::silentServerExpires()
{
    const quint16 refused = refusedPort();
    FakeDiscoveryServer udp;
    udp.reply = [&](const QByteArray &, int index) {
        return index == 0 ? QList<QByteArray>{answer("gone", "n", "AB3DE", refused)} : QList<QByteArray>();
    };
    auto finder = makeFinder(udp.port(), refused);
    finder->setCode("AB3DE");
    QTRY_COMPARE_WITH_TIMEOUT(finder->getServers().size(), 1, 10000);
    QTRY_VERIFY(m_changes->count() >= 1);
    const int changesWhenFound = m_changes->count();
    QTRY_VERIFY_WITH_TIMEOUT(finder->getServers().isEmpty(), 10000);
    const qint64 gone = udp.lastReply.elapsed();
    QVERIFY2(gone >= 2000, qPrintable(QString::number(gone)));
    QVERIFY2(gone < 4500, qPrintable(QString::number(gone)));
    QTRY_VERIFY(m_changes->count() > changesWhenFound);
}

void TstServerFinder::codeTestKeepsServerWithoutBroadcast()
{
    FakeCodeTestServer tcp;
    bool valid = true;
    tcp.onRequest = [&](QTcpSocket *s, const QJsonObject &request) {
        s->write(TestPeers::frame(TestPeers::answerJson(valid && request.value("code_to_test") == "AB3DE", "srv")));
    };
    FakeDiscoveryServer udp;
    udp.reply = [&](const QByteArray &, int index) {
        return index == 0 ? QList<QByteArray>{answer("srv", "n", "AB3DE", tcp.port())} : QList<QByteArray>();
    };
    auto finder = makeFinder(udp.port(), refusedPort());
    finder->setCode("AB3DE");
    QTRY_COMPARE_WITH_TIMEOUT(finder->getServers().size(), 1, 10000);
    // Well past the 2 s without an answer, kept alive by the code tests.
    QTRY_VERIFY_WITH_TIMEOUT(tcp.requests.size() >= 3 && udp.lastReply.elapsed() > 3200, 20000);
    QCOMPARE(finder->getServers().size(), 1);
    QVERIFY(finder->getServers().first().lastSeen.msecsTo(QDateTime::currentDateTime()) < 2000);
    QCOMPARE(tcp.requests.first().value("connection_type").toString(), QString("CODE_TEST"));
    valid = false;
    QTRY_VERIFY_WITH_TIMEOUT(finder->getServers().isEmpty(), 10000);
}

void TstServerFinder::newCodeRestartsIncompleteCodeKeeps()
{
    const quint16 refused = refusedPort();
    FakeDiscoveryServer udp;
    udp.reply = [&](const QByteArray &request, int) {
        return request.mid(2, 5) == "AB3DE" ? QList<QByteArray>{answer("srv", "n", "AB3DE", refused)}
                                            : QList<QByteArray>();
    };
    auto finder = makeFinder(udp.port(), refused);
    finder->setCode("AB3DE");
    QTRY_COMPARE_WITH_TIMEOUT(finder->getServers().size(), 1, 10000);

    // Deleting a character, or typing the same code again, changes nothing.
    finder->setCode("AB3D_");
    finder->setCode("AB3DE");
    QCOMPARE(finder->getServers().size(), 1);
    QCOMPARE(udp.countFor("AB3D_"), 0);

    // A new complete code empties the list at once and restarts the schedule:
    // its four requests come now, not at the next turn of the cycle (~5 s).
    finder->setCode("XY9Z8");
    QVERIFY(finder->getServers().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(udp.countFor("XY9Z8"), 4, 3000);
    QVERIFY(finder->getServers().isEmpty());

    // After joining, the code is overridden: the finder goes idle and keeps
    // its list; a code typed later starts again.
    finder->overrideCode("_____");
    finder->setCode("AB3DE");
    QTRY_COMPARE_WITH_TIMEOUT(finder->getServers().size(), 1, 3000);
}

void TstServerFinder::pausedSendsNothingExpiresNothing()
{
    const quint16 refused = refusedPort();
    bool answering = true;
    FakeDiscoveryServer udp;
    udp.reply = [&](const QByteArray &, int) {
        return answering ? QList<QByteArray>{answer("srv", "n", "AB3DE", refused)} : QList<QByteArray>();
    };
    // The finder's time of day runs ahead of the real one by what the test
    // adds, so a pause can last seconds without the test waiting for them.
    std::atomic<qint64> aheadMs{0};
    auto finder = makeFinder(udp.port(), refused,
                             [&aheadMs] { return QDateTime::currentDateTimeUtc().addMSecs(aheadMs.load()); });
    // A pass that began before the pause may still end; the one after it
    // is a paused one.
    const auto pausedPasses = [&finder](quint64 count) {
        const quint64 target = finder->passCount() + 1 + count;
        return QTest::qWaitFor([&] { return finder->passCount() >= target; }, 5000);
    };
    finder->setPaused(true);
    finder->setCode("AB3DE");
    // A running finder sends its requests in its first pass with a code.
    QVERIFY(pausedPasses(3));
    QCOMPARE(udp.requests.size(), 0);

    finder->setPaused(false);
    QTRY_COMPARE_WITH_TIMEOUT(finder->getServers().size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(udp.requests.size(), 4, 10000);
    answering = false;
    finder->setPaused(true);
    QVERIFY(pausedPasses(1));
    // Past the 2 s after which a silent server is dropped.
    aheadMs += 3500;
    QVERIFY(pausedPasses(3));
    QCOMPARE(finder->getServers().size(), 1);
    QCOMPARE(udp.requests.size(), 4);

    finder->setPaused(false);
    QTRY_VERIFY_WITH_TIMEOUT(finder->getServers().isEmpty(), 10000);
}

void TstServerFinder::destroyedWhileACodeTestWaits()
{
    // A configured server that takes the request and never answers: the
    // finder's destruction ends the test early instead of leaving it with a
    // dangling finder.
    FakeCodeTestServer tcp;
    FakeDiscoveryServer udp;
    auto finder = makeFinder(udp.port(), tcp.port());
    finder->setCode("AB3DE");
    QTRY_COMPARE_WITH_TIMEOUT(tcp.requests.size(), 1, 10000);
    QElapsedTimer timer;
    timer.start();
    finder.reset();
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    QCoreApplication::processEvents(); // the finished test thread is deleted here
}

void TstServerFinder::hugeCodeTestAnswersDoNotStopTheSearch()
{
    // A configured server answers its first code tests with 1 MiB each:
    // every such answer is refused from its header, and the finder goes on
    // testing until an honest answer lists the server.
    FakeCodeTestServer tcp;
    int answered = 0;
    const QByteArray json = TestPeers::answerJson(true, "srv");
    tcp.onRequest = [&](QTcpSocket *s, const QJsonObject &) {
        s->write(TestPeers::frame(++answered <= 2 ? json + QByteArray(1 << 20, ' ') : json));
    };
    FakeDiscoveryServer udp;
    udp.reply = [](const QByteArray &, int) { return QList<QByteArray>(); };
    auto finder = makeFinder(udp.port(), tcp.port());
    finder->setCode("AB3DE");
    QTRY_COMPARE_WITH_TIMEOUT(finder->getServers().size(), 1, 20000);
    QVERIFY(answered >= 3);
    QCOMPARE(finder->getServers().first().id, QString("srv"));
}

QTEST_GUILESS_MAIN(TstServerFinder)
#include "tst_serverfinder.moc"
