// SPDX-License-Identifier: GPL-2.0-or-later
// The framed connection against a fake display server on loopback; frames on
// the peer's side are written and read byte by byte from the layout.
#include "fakecodetestserver.h"

#include <network/framereader.h>
#include <network/tcpsocket.h>

#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <mutex>

using namespace Kiv::Network;
using TestPeers::frame;

namespace {

const QByteArray kKeepAlive("\0\0\0\0", 4);

// The callbacks as the session window would see them; filled on the socket's
// thread, read on the test's.
class Recorder {
public:
    // Declared before the socket, so that it outlives the socket's last
    // callback.
    void attach(TcpSocket &socket)
    {
        socket.setConnectedCallback([this](TcpSocket *) { add("connected"); });
        socket.setConnectionFailedCallback([this](TcpSocket *) { add("failed"); });
        socket.setConnectionStoppedCallback([this](TcpSocket *) { add("stopped"); });
        socket.setMessageReceivedCallback([this](TcpSocket *, QByteArray m) {
            std::lock_guard<std::mutex> l(m_lock);
            m_messages.append(m);
        });
    }
    QStringList events() const
    {
        std::lock_guard<std::mutex> l(m_lock);
        QStringList copy;
        for (const QString &e : m_events)
            copy.append(QString(e.constData(), e.size()));
        return copy;
    }
    // Copies of their own: an implicitly shared copy would let the socket's
    // thread grow the shared block in place once this one is released.
    QList<QByteArray> messages() const
    {
        std::lock_guard<std::mutex> l(m_lock);
        QList<QByteArray> copy;
        for (const QByteArray &m : m_messages)
            copy.append(QByteArray(m.constData(), m.size()));
        return copy;
    }

private:
    void add(const QString &e)
    {
        std::lock_guard<std::mutex> l(m_lock);
        m_events.append(e);
    }
    mutable std::mutex m_lock;
    QStringList m_events;
    QList<QByteArray> m_messages;
};

// One accepted connection: the frames received, with arrival times.
struct PeerConnection {
    QPointer<QTcpSocket> socket;
    QByteArray pending;
    QList<QByteArray> frames; // payloads; keep-alives as empty arrays
    QList<qint64> arrivals;   // ms since the peer started
    bool disconnected = false;
    int keepAlives() const
    {
        int n = 0;
        for (const QByteArray &f : frames)
            n += f.isEmpty();
        return n;
    }
    QList<QByteArray> messages() const
    {
        QList<QByteArray> out;
        for (const QByteArray &f : frames)
            if (!f.isEmpty())
                out << f;
        return out;
    }
};

class FakePeer : public QObject {
public:
    FakePeer()
    {
        clock.start();
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                auto c = std::make_shared<PeerConnection>();
                c->socket = s;
                connections.append(c);
                connect(s, &QTcpSocket::readyRead, this, [this, c] { read(*c); });
                connect(s, &QTcpSocket::disconnected, this, [c] { c->disconnected = true; });
            }
        });
    }
    quint16 port() const { return server.serverPort(); }
    PeerConnection &last() { return *connections.last(); }

    QTcpServer server;
    QList<std::shared_ptr<PeerConnection>> connections;
    QElapsedTimer clock;

private:
    void read(PeerConnection &c)
    {
        c.pending.append(c.socket->readAll());
        while (c.pending.size() >= 4) {
            const qint32 n = qint32(quint8(c.pending[0]) | quint8(c.pending[1]) << 8 | quint8(c.pending[2]) << 16 |
                                    quint32(quint8(c.pending[3])) << 24);
            if (n < 0 || c.pending.size() < 4 + n)
                return;
            c.frames.append(c.pending.mid(4, n));
            c.arrivals.append(clock.elapsed());
            c.pending.remove(0, 4 + n);
        }
    }
};

} // namespace

class TstTcpSocket : public QObject {
    Q_OBJECT
private slots:
    void frameEncoding();
    void received_data();
    void received();
    void keepAliveWhenIdle();
    void queuedMessagesGoFirstAndSurviveAConnection();
    void failedConnection();
    void stopEndsOnce_data();
    void stopEndsOnce();
    void peerCloses();
    void lengthAboveTheBound_data();
    void lengthAboveTheBound();
    void stopWhileAFrameStalls();
    void connectWhileRunningIgnored();
    void silencePeerDroppedKeepAlivePeerKept();
};

void TstTcpSocket::frameEncoding()
{
    QCOMPARE(encodeFrame("abc"), QByteArray("\x03\x00\x00\x00"
                                            "abc",
                                            7));
    QCOMPARE(encodeFrame(QByteArray()), kKeepAlive);
    QCOMPARE(encodeFrame(QByteArray(258, 'x')).left(4), QByteArray("\x02\x01\x00\x00", 4));
    QCOMPARE(decodeFrameLength("\xff\xff\xff\xff"), -1);
    QCOMPARE(decodeFrameLength("\x01\x00\x00\x04"), 0x04000001);
}

void TstTcpSocket::received_data()
{
    // Writes by the peer (each sent before the next) and the messages the
    // owner must see. Every script ends with the message "end".
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QList<QByteArray>>("expected");
    const QByteArray big(300 * 1000, 'b');
    QTest::newRow("one message") << QList<QByteArray>{frame("hello")} << QList<QByteArray>{"hello"};
    QTest::newRow("keep-alive never delivered")
        << QList<QByteArray>{kKeepAlive + frame("a") + kKeepAlive} << QList<QByteArray>{"a"};
    QTest::newRow("negative length is an empty message")
        << QList<QByteArray>{frame("", -1) + frame("b")} << QList<QByteArray>{"", "b"};
    QTest::newRow("frames back to back") << QList<QByteArray>{frame("x") + frame("yz") + frame("x")}
                                         << QList<QByteArray>{"x", "yz", "x"};
    QTest::newRow("frame in pieces") << QList<QByteArray>{frame(big).left(2), frame(big).mid(2, 100000),
                                                          frame(big).mid(100002)}
                                     << QList<QByteArray>{big};
    QTest::newRow("binary payload") << QList<QByteArray>{frame(QByteArray("\0\1\2\0", 4))}
                                    << QList<QByteArray>{QByteArray("\0\1\2\0", 4)};
}

void TstTcpSocket::received()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QList<QByteArray>, expected);
    FakePeer peer;
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 1, 10000);
    QTRY_VERIFY(recorder.events().contains("connected"));
    for (const QByteArray &w : writes) {
        // Each write leaves the peer before the next, so the socket meets
        // the pieces apart.
        peer.last().socket->write(w);
        QTRY_COMPARE(peer.last().socket->bytesToWrite(), qint64(0));
    }
    peer.last().socket->write(frame("end"));
    QTRY_VERIFY_WITH_TIMEOUT(!recorder.messages().isEmpty() && recorder.messages().last() == "end", 10000);
    QList<QByteArray> got = recorder.messages();
    got.removeLast();
    QCOMPARE(got, expected);
    QVERIFY(socket.isConnected());
    QCOMPARE(QString::fromStdString(socket.peerAddress()), QString("127.0.0.1"));
    socket.requestStop();
    QTRY_COMPARE_WITH_TIMEOUT(recorder.events(), (QStringList{"connected", "stopped"}), 10000);
}

void TstTcpSocket::keepAliveWhenIdle()
{
    FakePeer peer;
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    const qint64 connectCalledAt = peer.clock.elapsed();
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(peer.last().keepAlives() >= 6, 10000);
    const PeerConnection &c = peer.last();
    QVERIFY(c.messages().isEmpty());
    // The k-th keep-alive leaves more than k * 200 ms after the connection,
    // so it cannot arrive earlier (frames read together only arrive later),
    // and they keep coming at about that pace.
    for (int k = 1; k <= c.arrivals.size(); ++k) {
        const qint64 at = c.arrivals.at(k - 1) - connectCalledAt;
        QVERIFY2(at >= k * 200, qPrintable(QStringLiteral("keep-alive %1 after %2 ms").arg(k).arg(at)));
    }
    const qint64 sixth = c.arrivals.at(5) - connectCalledAt;
    QVERIFY2(sixth < 6 * 200 + 2500, qPrintable(QString::number(sixth)));
    // A message written resets the keep-alive clock; it arrives as a frame.
    socket.sendMessage("ping");
    QTRY_COMPARE(peer.last().messages(), QList<QByteArray>{"ping"});
}

void TstTcpSocket::queuedMessagesGoFirstAndSurviveAConnection()
{
    FakePeer peer;
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    socket.sendMessage("first");
    socket.sendMessage("second");
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(peer.last().frames.size() >= 2, 10000);
    QCOMPARE(peer.last().frames.mid(0, 2), (QList<QByteArray>{"first", "second"}));
    socket.requestStop();
    QTRY_COMPARE_WITH_TIMEOUT(recorder.events(), (QStringList{"connected", "stopped"}), 10000);
    QTRY_VERIFY(!socket.isRunning());

    // Queued while idle: written first on the next connection.
    socket.sendMessage("third");
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!peer.last().frames.isEmpty(), 10000);
    QCOMPARE(peer.last().frames.first(), QByteArray("third"));
    QTRY_COMPARE(recorder.events(), (QStringList{"connected", "stopped", "connected"}));
}

void TstTcpSocket::failedConnection()
{
    quint16 port = 0;
    {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        port = s.serverPort();
    }
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    socket.connectToServer(QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.events(), (QStringList{"failed", "stopped"}), 10000);
    QVERIFY(!socket.isConnected());
    QVERIFY(recorder.messages().isEmpty());
}

void TstTcpSocket::stopEndsOnce_data()
{
    // requestStop() returns at once; stop() also waits, so when it returns
    // the thread has ended and the last callback has run.
    QTest::addColumn<bool>("waits");
    QTest::newRow("requestStop twice") << false;
    QTest::newRow("stop twice") << true;
}

void TstTcpSocket::stopEndsOnce()
{
    QFETCH(bool, waits);
    FakePeer peer;
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_VERIFY_WITH_TIMEOUT(socket.isConnected(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 1, 10000);
    if (waits) {
        socket.stop();
        QVERIFY(socket.isFinished());
        QCOMPARE(recorder.events(), (QStringList{"connected", "stopped"}));
        socket.stop();
        QVERIFY(socket.waitForStop(0));
    } else {
        socket.requestStop();
        socket.requestStop();
    }
    QTRY_VERIFY_WITH_TIMEOUT(peer.last().disconnected, 10000);
    QTRY_VERIFY(socket.isFinished());
    QCOMPARE(recorder.events(), (QStringList{"connected", "stopped"}));
    QVERIFY(!socket.isConnected());
    QVERIFY(socket.peerAddress().empty());
}

void TstTcpSocket::peerCloses()
{
    FakePeer peer;
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 1, 10000);
    peer.last().socket->write(frame("bye"));
    peer.last().socket->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(recorder.events(), (QStringList{"connected", "stopped"}), 10000);
    QCOMPARE(recorder.messages(), QList<QByteArray>{"bye"});
}

void TstTcpSocket::lengthAboveTheBound_data()
{
    QTest::addColumn<qint64>("length");
    QTest::newRow("64 MiB + 1") << qint64(64 * 1024 * 1024 + 1);
    QTest::newRow("largest") << qint64(0x7fffffff);
}

void TstTcpSocket::lengthAboveTheBound()
{
    QFETCH(qint64, length);
    FakePeer peer;
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 1, 10000);
    peer.last().socket->write(frame("", length) + QByteArray(1000, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.events(), (QStringList{"connected", "stopped"}), 10000);
    QVERIFY(recorder.messages().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(peer.last().disconnected, 10000);
}

void TstTcpSocket::stopWhileAFrameStalls()
{
    FakePeer peer;
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 1, 10000);
    // A frame announced at 100 bytes of which 10 come; the socket waits
    // inside the frame, yet still answers stop at once. The whole frame
    // before them arrives in the same write: once it is delivered, the
    // socket is reading the partial one.
    peer.last().socket->write(frame("in") + frame("", 100) + QByteArray(10, 'p'));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.messages(), QList<QByteArray>{"in"}, 10000);
    QElapsedTimer timer;
    timer.start();
    socket.requestStop();
    QTRY_COMPARE_WITH_TIMEOUT(recorder.events(), (QStringList{"connected", "stopped"}), 10000);
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(recorder.messages(), QList<QByteArray>{"in"});
}

void TstTcpSocket::connectWhileRunningIgnored()
{
    FakePeer peer;
    FakePeer other;
    Recorder recorder;
    TcpSocket socket;
    recorder.attach(socket);
    socket.connectToServer(QHostAddress::LocalHost, peer.port());
    QTRY_VERIFY_WITH_TIMEOUT(socket.isConnected(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(peer.connections.size(), 1, 10000);
    socket.connectToServer(QHostAddress::LocalHost, other.port());
    socket.sendMessage("still here");
    QTRY_COMPARE_WITH_TIMEOUT(peer.last().messages(), QList<QByteArray>{"still here"}, 10000);
    QVERIFY(other.connections.isEmpty());
    QCOMPARE(recorder.events(), QStringList{"connected"});
}

void TstTcpSocket::silencePeerDroppedKeepAlivePeerKept()
{
    FakePeer silent;
    FakePeer alive;
    Recorder droppedEvents;
    Recorder keptEvents;
    TcpSocket dropped;
    TcpSocket kept;
    droppedEvents.attach(dropped);
    keptEvents.attach(kept);
    QElapsedTimer since;
    since.start();
    dropped.connectToServer(QHostAddress::LocalHost, silent.port());
    kept.connectToServer(QHostAddress::LocalHost, alive.port());
    QTRY_COMPARE_WITH_TIMEOUT(alive.connections.size(), 1, 10000);
    QTimer beat;
    connect(&beat, &QTimer::timeout, this, [&] {
        if (alive.last().socket)
            alive.last().socket->write(kKeepAlive);
    });
    beat.start(1000);
    QTRY_VERIFY_WITH_TIMEOUT(droppedEvents.events().contains("stopped"), 40000);
    const qint64 after = since.elapsed();
    QVERIFY2(after >= 20000, qPrintable(QString::number(after)));
    QVERIFY2(after < 30000, qPrintable(QString::number(after)));
    QVERIFY(kept.isConnected());
    QCOMPARE(keptEvents.events(), QStringList{"connected"});
    QVERIFY(keptEvents.messages().isEmpty());
    QCOMPARE(droppedEvents.events(), (QStringList{"connected", "stopped"}));
}

QTEST_GUILESS_MAIN(TstTcpSocket)
#include "tst_tcpsocket.moc"
