// SPDX-License-Identifier: GPL-2.0-or-later
#include "rawpeer.h"
#include "transport/framereader.h"
#include "transport/streamcommand.h"
#include "transport/streamconnection.h"

#include <QRegularExpression>
#include <QtTest>
#include <sys/socket.h>

class TstTransport : public QObject {
    Q_OBJECT
private slots:
    void commandBytes_data();
    void commandBytes();
    void frameReaderSplitsAnyChunking();
    void frameReaderRejectsOversizedLength();
    void channelMapping_data();
    void channelMapping();
    void handshakeAndDescriptors_data();
    void handshakeAndDescriptors();
    void messageBeforeAnswerIsDiscarded();
    void keepAliveAfterIdle();
    void receivedListSkipsKeepAlives();
    void disconnectOnlyOnRequestedStop();
    void oversizedIncomingLengthEndsConnection();
    void refusedConnectionEnds();
    void peerClosingDuringHandshakeEnds();
    void slowReceiverBacksUpTheQueue();
    void silence_data();
    void silence();
};

void TstTransport::commandBytes_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("handshake 42") << StreamCommand::handshake(42)
                                  << QByteArray(R"({ "connection_type" : "STREAM_VIDEO", "ID" : 42})");
    QTest::newRow("handshake max") << StreamCommand::handshake(4294967295u)
                                   << QByteArray(R"({ "connection_type" : "STREAM_VIDEO", "ID" : 4294967295})");
    QTest::newRow("pause") << StreamCommand::pause() << QByteArray("PAUSE     ");
    QTest::newRow("disconnect") << StreamCommand::disconnect() << QByteArray("DISCONNECT");
    QTest::newRow("frame") << StreamCommand::frame(QByteArray("\x00\x00\x00\x01\x67", 5))
                           << QByteArray("FRAME     \x00\x00\x00\x01\x67", 15);
    // 0.5f = 0x3F000000, -1.25f = 0xBFA00000, 1700000000123 = 0x0000018BCFE5687B
    QTest::newRow("mousepos") << StreamCommand::mousePosition(0.5f, -1.25f, 1700000000123LL)
                              << QByteArray("MOUSEPOS  \x00\x00\x00\x3F\x00\x00\xA0\xBF"
                                            "\x7B\x68\xE5\xCF\x8B\x01\x00\x00",
                                            26);
}

void TstTransport::commandBytes()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, expected);
    QCOMPARE(payload, expected);
}

void TstTransport::frameReaderSplitsAnyChunking()
{
    const QByteArray stream = QByteArray("\x03\x00\x00\x00"
                                         "abc"
                                         "\x00\x00\x00\x00"
                                         "\x01\x00\x00\x00"
                                         "z",
                                         16);
    for (int chunk = 1; chunk <= stream.size(); ++chunk) {
        FrameReader reader;
        QList<QByteArray> payloads;
        int frames = 0;
        for (int pos = 0; pos < stream.size(); pos += chunk)
            frames += reader.feed(stream.constData() + pos, qMin(chunk, stream.size() - pos), payloads);
        QCOMPARE(frames, 3);
        QCOMPARE(payloads, (QList<QByteArray>{"abc", "z"}));
        QVERIFY(!reader.inFrame());
    }
}

void TstTransport::frameReaderRejectsOversizedLength()
{
    FrameReader reader;
    QList<QByteArray> payloads;
    char header[4];
    qToLittleEndian<quint32>(FrameReader::MaxPayload, header);
    QCOMPARE(reader.feed(header, 4, payloads), 0); // exactly the bound is accepted
    FrameReader hostile;
    qToLittleEndian<quint32>(FrameReader::MaxPayload + 1, header);
    QCOMPARE(hostile.feed(header, 4, payloads), -1);
    QCOMPARE(hostile.rejectedLength(), FrameReader::MaxPayload + 1);
    QCOMPARE(hostile.feed("abcd", 4, payloads), -1);
    QVERIFY(payloads.isEmpty());
}

void TstTransport::channelMapping_data()
{
    QTest::addColumn<int>("extraQueues");
    QTest::addColumn<QList<int>>("channels");
    QTest::addColumn<QList<int>>("expectedCounts"); // queuedCount of channels -1, 0, 1
    QTest::newRow("video") << 2 << QList<int>{0, 1, 1, 7} << QList<int>{0, 1, 3};
    QTest::newRow("controls") << 0 << QList<int>{0, 1, 3} << QList<int>{3, 3, 3};
}

void TstTransport::channelMapping()
{
    QFETCH(int, extraQueues);
    QFETCH(QList<int>, channels);
    QFETCH(QList<int>, expectedCounts);
    StreamConnection socket(extraQueues);
    for (int c : channels)
        socket.enqueue("x", c);
    QCOMPARE((QList<int>{socket.queuedCount(-1), socket.queuedCount(0), socket.queuedCount(1)}), expectedCounts);
}

void TstTransport::handshakeAndDescriptors_data()
{
    QTest::addColumn<bool>("handshake");
    QTest::newRow("with handshake") << true;
    QTest::newRow("without handshake") << false;
}

void TstTransport::handshakeAndDescriptors()
{
    QFETCH(bool, handshake);
    RawPeer peer;
    StreamConnection socket(2);
    socket.setPeer(QHostAddress::LocalHost, peer.port());
    socket.setStreamId(42);
    socket.setHandshake(handshake);
    QByteArray id;
    StreamCommand::appendUInt32(id, 42);
    socket.addDescriptor("ID", id);
    socket.addDescriptor("STREAMTYPE", "VIDEO");
    socket.addDescriptor("CODEC", QByteArray(1, '\x01'));
    socket.start();
    QTcpSocket *conn = peer.accept();
    QVERIFY(conn);
    if (handshake) {
        QByteArray payload;
        QVERIFY(RawPeer::readFrame(conn, payload));
        QCOMPARE(payload, QByteArray(R"({ "connection_type" : "STREAM_VIDEO", "ID" : 42})"));
        RawPeer::writeFrame(conn, "{}");
    }
    // The descriptors are the first frames (no keep-alive before them).
    const QList<QByteArray> expected{QByteArray("ID        \x2A\x00\x00\x00", 14), "STREAMTYPEVIDEO",
                                     QByteArray("CODEC     \x01", 11)};
    for (const QByteArray &want : expected) {
        QByteArray payload;
        QVERIFY(RawPeer::readFrame(conn, payload));
        QCOMPARE(payload, want);
    }
    socket.enqueue(StreamCommand::pause(), 0);
    QCOMPARE(RawPeer::readMessage(conn), QByteArray("PAUSE     "));
    if (handshake) {
        // The handshake answer stays in the received list for the owner.
        QTRY_VERIFY(socket.hasReceived());
        QCOMPARE(socket.takeReceived(), QByteArray("{}"));
    }
    socket.stop();
    QVERIFY(!socket.isRunning());
}

void TstTransport::messageBeforeAnswerIsDiscarded()
{
    RawPeer peer;
    StreamConnection socket(2);
    socket.setPeer(QHostAddress::LocalHost, peer.port());
    socket.setStreamId(7);
    socket.addDescriptor("STREAMTYPE", "VIDEO");
    socket.start();
    QTcpSocket *conn = peer.accept();
    QVERIFY(conn);
    QByteArray payload;
    QVERIFY(RawPeer::readFrame(conn, payload)); // the handshake
    socket.enqueue("early", 0);
    socket.enqueue("early cursor", 1);
    RawPeer::writeFrame(conn, "answer");
    QVERIFY(RawPeer::readFrame(conn, payload));
    QCOMPARE(payload, QByteArray("STREAMTYPEVIDEO"));
    socket.enqueue("late", 0);
    QCOMPARE(RawPeer::readMessage(conn), QByteArray("late"));
    socket.stop();
}

void TstTransport::keepAliveAfterIdle()
{
    RawPeer peer;
    StreamConnection socket(0);
    socket.setPeer(QHostAddress::LocalHost, peer.port());
    socket.setHandshake(false);
    socket.addDescriptor("TRACKPAD", QByteArray(1, '\x01'));
    socket.start();
    QTcpSocket *conn = peer.accept();
    QVERIFY(conn);
    QByteArray payload;
    QVERIFY(RawPeer::readFrame(conn, payload));
    QCOMPARE(payload, QByteArray("TRACKPAD  \x01", 11));
    // Time from the last write to the keep-alive: more than 200 ms, and it does come.
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer timer;
        timer.start();
        QVERIFY(RawPeer::readFrame(conn, payload));
        const qint64 waited = timer.elapsed();
        QVERIFY(payload.isEmpty());
        QVERIFY2(waited >= 190, qPrintable(QString::number(waited))); // the peer's clock starts a little late
    }
    socket.stop();
}

void TstTransport::receivedListSkipsKeepAlives()
{
    RawPeer peer;
    StreamConnection socket(0);
    socket.setPeer(QHostAddress::LocalHost, peer.port());
    socket.setHandshake(false);
    socket.start();
    QTcpSocket *conn = peer.accept();
    QVERIFY(conn);
    RawPeer::writeFrame(conn, QByteArray());
    RawPeer::writeFrame(conn, QByteArray());
    RawPeer::writeFrame(conn, RawPeer::command("PENDINGFRA", QByteArray("\x05\x00\x00\x00", 4)));
    QTRY_VERIFY(socket.hasReceived());
    QCOMPARE(socket.takeReceived(), RawPeer::command("PENDINGFRA", QByteArray("\x05\x00\x00\x00", 4)));
    QVERIFY(!socket.hasReceived());
    socket.stop();
}

void TstTransport::disconnectOnlyOnRequestedStop()
{
    // Requested stop: DISCONNECT goes out, then the connection closes.
    {
        RawPeer peer;
        StreamConnection socket(2);
        socket.setPeer(QHostAddress::LocalHost, peer.port());
        socket.setHandshake(false);
        socket.start();
        QTcpSocket *conn = peer.accept();
        QVERIFY(conn);
        QTRY_VERIFY(socket.isRunning());
        socket.stop();
        QCOMPARE(RawPeer::readMessage(conn), QByteArray("DISCONNECT"));
        QByteArray payload;
        QVERIFY(!RawPeer::readFrame(conn, payload, 3000));
    }
    // The peer closes its side: the worker ends and writes no DISCONNECT.
    {
        RawPeer peer;
        StreamConnection socket(2);
        socket.setPeer(QHostAddress::LocalHost, peer.port());
        socket.setHandshake(false);
        socket.start();
        QTcpSocket *conn = peer.accept();
        QVERIFY(conn);
        ::shutdown(int(conn->socketDescriptor()), SHUT_WR);
        QTRY_VERIFY_WITH_TIMEOUT(!socket.isRunning(), 10000);
        QByteArray payload;
        while (RawPeer::readFrame(conn, payload, 3000))
            QVERIFY2(payload.isEmpty(), payload.constData()); // keep-alives at most
        socket.stop();
    }
}

void TstTransport::oversizedIncomingLengthEndsConnection()
{
    RawPeer peer;
    StreamConnection socket(0);
    socket.setPeer(QHostAddress::LocalHost, peer.port());
    socket.setHandshake(false);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("exceeds"));
    socket.start();
    QTcpSocket *conn = peer.accept();
    QVERIFY(conn);
    conn->write(QByteArray("\x01\x00\x00\x04", 4)); // 64 MiB + 1
    conn->waitForBytesWritten(1000);
    QTRY_VERIFY_WITH_TIMEOUT(!socket.isRunning(), 10000);
    QVERIFY(!socket.hasReceived());
    socket.stop();
}

void TstTransport::refusedConnectionEnds()
{
    quint16 port;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    StreamConnection socket(0);
    socket.setPeer(QHostAddress::LocalHost, port);
    socket.start();
    QTRY_VERIFY_WITH_TIMEOUT(!socket.isRunning(), 10000);
    socket.stop();
}

void TstTransport::peerClosingDuringHandshakeEnds()
{
    RawPeer peer;
    StreamConnection socket(0);
    socket.setPeer(QHostAddress::LocalHost, peer.port());
    socket.start();
    QTcpSocket *conn = peer.accept();
    QVERIFY(conn);
    QByteArray payload;
    QVERIFY(RawPeer::readFrame(conn, payload));
    conn->close(); // no answer ever comes
    QTRY_VERIFY_WITH_TIMEOUT(!socket.isRunning(), 10000);
    socket.stop();
}

void TstTransport::slowReceiverBacksUpTheQueue()
{
    RawPeer peer;
    StreamConnection socket(2);
    socket.setPeer(QHostAddress::LocalHost, peer.port());
    socket.setHandshake(false);
    socket.addDescriptor("STREAMTYPE", "VIDEO");
    socket.start();
    QTcpSocket *conn = peer.accept();
    QVERIFY(conn);
    conn->setReadBufferSize(64 * 1024); // Qt must not read on behalf of the test
    // The descriptor shows that the queues are in use (earlier messages are discarded).
    QCOMPARE(RawPeer::readMessage(conn), QByteArray("STREAMTYPEVIDEO"));
    // The receiver reads nothing: after the kernel buffers and the bounded
    // socket backlog, frames stay in the queue where the sender can see them.
    const QByteArray frame = StreamCommand::frame(QByteArray(100 * 1024, 'x'));
    const int count = 200; // 20 MiB, more than any kernel buffering
    for (int i = 0; i < count; ++i)
        socket.enqueue(frame, 0);
    QTest::qWait(500);
    QVERIFY2(socket.queuedCount(0) > count / 2, qPrintable(QString::number(socket.queuedCount(0))));
    // Once the receiver reads, everything arrives, in order.
    int frames = 0;
    while (frames < count) {
        const QByteArray message = RawPeer::readMessage(conn);
        QCOMPARE(message.size(), frame.size());
        ++frames;
    }
    QCOMPARE(socket.queuedCount(0), 0);
    socket.stop();
}

void TstTransport::silence_data()
{
    QTest::addColumn<int>("keepAliveEveryMs"); // 0: the peer sends nothing
    QTest::addColumn<bool>("midFrame");        // the peer stops inside a frame
    QTest::addColumn<bool>("survives");
    QTest::newRow("silent peer") << 0 << false << false;
    QTest::newRow("silent inside a frame") << 0 << true << false;
    QTest::newRow("keep-alives reset the clock") << 100 << false << true;
}

// The silence limit shortened to 600 ms; the rules are those of the 20-s limit.
void TstTransport::silence()
{
    QFETCH(int, keepAliveEveryMs);
    QFETCH(bool, midFrame);
    QFETCH(bool, survives);
    RawPeer peer;
    StreamConnection socket(0);
    socket.setPeer(QHostAddress::LocalHost, peer.port());
    socket.setHandshake(false);
    socket.setSilenceTimeout(600);
    socket.start();
    QTcpSocket *conn = peer.accept();
    QVERIFY(conn);
    if (midFrame) {
        conn->write(QByteArray("\x20\x00\x00\x00PENDI", 9)); // 32 announced, 5 sent
        conn->waitForBytesWritten(1000);
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 1500 && socket.isRunning()) {
        if (keepAliveEveryMs)
            RawPeer::writeFrame(conn, QByteArray());
        QTest::qWait(keepAliveEveryMs ? keepAliveEveryMs : 20);
    }
    QCOMPARE(socket.isRunning(), survives);
    if (!survives) {
        QVERIFY(timer.elapsed() >= 550);
        // Ended by the silence, not by a request: no DISCONNECT.
        QByteArray payload;
        while (RawPeer::readFrame(conn, payload, 3000))
            QVERIFY2(payload.isEmpty(), payload.constData());
    }
    socket.stop();
}

QTEST_GUILESS_MAIN(TstTransport)
#include "tst_transport.moc"
