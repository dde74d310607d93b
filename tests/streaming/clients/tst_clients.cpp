// SPDX-License-Identifier: GPL-2.0-or-later
#include "../transport/rawpeer.h"
#include "clients/clientsmanager.h"
#include "clients/streamclient.h"
#include "fakecompressor.h"
#include "input/mousekeyboard.h"
#include "input/recordinginputbackend.h"
#include "transport/streamcommand.h"

#include <QCursor>
#include <QtTest>

namespace {

QByteArray uint32Bytes(quint32 value)
{
    QByteArray out;
    StreamCommand::appendUInt32(out, value);
    return out;
}

QByteArray int32Bytes(qint32 value)
{
    return uint32Bytes(quint32(value));
}

// The two connections of one client, told apart by their STREAMTYPE descriptor.
struct Receiver {
    QTcpSocket *video = nullptr;
    QTcpSocket *controls = nullptr;
    QList<QByteArray> videoDescriptors;
    QList<QByteArray> controlsDescriptors;
};

bool acceptReceiver(RawPeer &pPeer, Receiver &pOut, quint32 pStreamId)
{
    QList<QTcpSocket *> conns;
    for (int i = 0; i < 2; ++i) {
        QTcpSocket *conn = pPeer.accept();
        if (!conn)
            return false;
        QByteArray handshake;
        if (!RawPeer::readFrame(conn, handshake) || handshake != StreamCommand::handshake(pStreamId))
            return false;
        RawPeer::writeFrame(conn, "{ \"answer\" : 1}");
        conns.append(conn);
    }
    for (QTcpSocket *conn : conns) {
        QList<QByteArray> descriptors{RawPeer::readMessage(conn), RawPeer::readMessage(conn)};
        if (descriptors[1] == "STREAMTYPEVIDEO") {
            pOut.video = conn;
            descriptors.append(RawPeer::readMessage(conn));
            pOut.videoDescriptors = descriptors;
        } else {
            pOut.controls = conn;
            descriptors.append(RawPeer::readMessage(conn));
            descriptors.append(RawPeer::readMessage(conn));
            pOut.controlsDescriptors = descriptors;
        }
    }
    return pOut.video && pOut.controls;
}

// Next message on a connection that is not a cursor position.
QByteArray nextNonCursor(QTcpSocket *pConn, int pTimeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < pTimeoutMs) {
        const QByteArray message = RawPeer::readMessage(pConn, pTimeoutMs);
        if (!message.startsWith("MOUSEPOS"))
            return message;
    }
    return QByteArray();
}

} // namespace

class TstClients : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void descriptorsOnBothConnections_data();
    void descriptorsOnBothConnections();
    void framesAndCursorPositions();
    void pauseStopsFramesAndCursor();
    void flowControl_data();
    void flowControl();
    void delayFormula_data();
    void delayFormula();
    void cursorNeedsTheScreenGeometry_data();
    void cursorNeedsTheScreenGeometry();
    void remoteInteractionSwitch();
    void receiverDisconnectEndsClient();
    void peerCloseDropsClient();
    void stopDisconnectsEveryClient();
    void everyReceiverGetsEveryFrame();
    void joiningReceiverStartsWithAKeyFrame();
    void receiverThatReadsNothingSlowsOnlyItself();

private:
    void start(bool pTouch = true);

    RecordingInputBackend *mBackend = nullptr; // owned by mInjector
    std::unique_ptr<MouseKeyboard> mInjector;
    std::unique_ptr<FakeCompressor> mCompressor;
    std::unique_ptr<ClientsManager> mManager;
};

void TstClients::init()
{
    mCompressor = std::make_unique<FakeCompressor>();
}

void TstClients::cleanup()
{
    mManager.reset();
    mInjector.reset();
    mCompressor.reset();
}

void TstClients::start(bool pTouch)
{
    auto backend = std::make_unique<RecordingInputBackend>(pTouch);
    mBackend = backend.get();
    mInjector = std::make_unique<MouseKeyboard>(std::move(backend), MouseKeyboard::TouchThread::Manual);
    mInjector->setTargetGeometry(QRect(0, 0, 800, 600), 800, 600, QRect(0, 0, 800, 600), 1.0);
    mManager = std::make_unique<ClientsManager>();
    mManager->setImageCompressor(mCompressor.get());
    mManager->setMouseKeyboard(mInjector.get());
    mManager->setStreamedScreenRect(QRect(100, 50, 400, 200));
    mManager->start();
}

void TstClients::descriptorsOnBothConnections_data()
{
    QTest::addColumn<bool>("touch");
    QTest::newRow("touch available") << true;
    QTest::newRow("no touch") << false;
}

void TstClients::descriptorsOnBothConnections()
{
    QFETCH(bool, touch);
    start(touch);
    RawPeer peer;
    QVERIFY(!mManager->hasClients());
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 42, true);
    QVERIFY(mManager->hasClients());
    Receiver receiver;
    QVERIFY(acceptReceiver(peer, receiver, 42));
    const QByteArray id("ID        \x2A\x00\x00\x00", 14);
    QCOMPARE(receiver.videoDescriptors, (QList<QByteArray>{id, "STREAMTYPEVIDEO", QByteArray("CODEC     \x01", 11)}));
    QCOMPARE(receiver.controlsDescriptors,
             (QList<QByteArray>{id, "STREAMTYPECONTROLS", QByteArray("TOUCH     ") + char(touch ? 1 : 0),
                                QByteArray("TRACKPAD  \x01", 11)}));
}

void TstClients::framesAndCursorPositions()
{
    start();
    QCursor::setPos(300, 150); // the middle of the streamed rect (100, 50, 400 x 200)
    RawPeer peer;
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 7, true);
    Receiver receiver;
    QVERIFY(acceptReceiver(peer, receiver, 7));

    QTRY_VERIFY(mCompressor->wanted());
    mManager->push(FakeCompressor::packet(3, "packet-3", true));
    QCOMPARE(nextNonCursor(receiver.video), QByteArray("FRAME     packet-3"));
    // The same frame number again is never sent twice; the next one is.
    mManager->push(FakeCompressor::packet(3, "packet-3-again", true));
    mManager->push(FakeCompressor::packet(4, "packet-4", false));
    QCOMPARE(nextNonCursor(receiver.video), QByteArray("FRAME     packet-4"));

    QByteArray cursor;
    do {
        cursor = RawPeer::readMessage(receiver.video);
    } while (!cursor.isEmpty() && !cursor.startsWith("MOUSEPOS"));
    QCOMPARE(cursor.size(), 26);
    QCOMPARE(StreamCommand::readFloat(cursor, 10), 0.5f);
    QCOMPARE(StreamCommand::readFloat(cursor, 14), 0.5f);
    const qint64 sent = qFromLittleEndian<qint64>(cursor.constData() + 18);
    QVERIFY(qAbs(sent - QDateTime::currentMSecsSinceEpoch()) < 60000);
}

void TstClients::pauseStopsFramesAndCursor()
{
    start();
    RawPeer peer;
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 9, true);
    Receiver receiver;
    QVERIFY(acceptReceiver(peer, receiver, 9));
    QTRY_VERIFY(mCompressor->wanted());
    mManager->push(FakeCompressor::packet(1, "before", true));
    mManager->pauseClients();
    const qint64 pausedAt = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(nextNonCursor(receiver.video), QByteArray("FRAME     before"));
    QCOMPARE(nextNonCursor(receiver.video), QByteArray("PAUSE     "));
    // Nobody can take a frame: the compressor is told so.
    QVERIFY(!mCompressor->wanted());
    mManager->push(FakeCompressor::packet(2, "while-paused", false));
    // Nothing but keep-alives for a while; the mailbox stays full.
    QElapsedTimer timer;
    timer.start();
    QByteArray payload;
    while (timer.elapsed() < 400) {
        QVERIFY(RawPeer::readFrame(receiver.video, payload));
        // A cursor position queued before the pause may still leave behind it.
        if (payload.startsWith("MOUSEPOS") && qFromLittleEndian<qint64>(payload.constData() + 18) <= pausedAt)
            continue;
        QVERIFY2(payload.isEmpty(), payload.left(10).constData());
    }
    // After the pause the stream goes on from a key frame, which is asked for.
    const int keyRequests = mCompressor->keyRequests();
    mManager->resumeClients();
    QTRY_VERIFY(mCompressor->wanted());
    QTRY_VERIFY(mCompressor->keyRequests() > keyRequests);
    mManager->push(FakeCompressor::packet(3, "not-a-key", false));
    mManager->push(FakeCompressor::packet(4, "key", true));
    QCOMPARE(nextNonCursor(receiver.video), QByteArray("FRAME     key"));
}

void TstClients::flowControl_data()
{
    QTest::addColumn<int>("pending");      // PENDINGFRA value reported first, -1 for none
    QTest::addColumn<int>("framesBefore"); // frames sent before the measured one
    QTest::addColumn<int>("returnData");   // RETURNDATA messages after them
    QTest::addColumn<int>("gapMs");        // least time between frames, -1: none sent
    QTest::newRow("no reports: no delay") << -1 << 1 << 0 << 0;
    QTest::newRow("PENDINGFRA 2: no delay") << 2 << 1 << 0 << 0;
    QTest::newRow("PENDINGFRA 5: 2 x 60 ms") << 5 << 1 << 0 << 120;
    QTest::newRow("PENDINGFRA 27: 2 x 500 ms") << 27 << 1 << 0 << 1000;
    QTest::newRow("PENDINGFRA 28: nothing sent") << 28 << 1 << 0 << -1;
    QTest::newRow("13 in flight after RETURNDATA: 2 x 60 ms") << -1 << 14 << 1 << 120;
    QTest::newRow("RETURNDATA overrides PENDINGFRA 28") << 28 << 2 << 1 << 0;
}

// Drives one client on the test thread with its own clock: reports arrive
// from the raw peer; frames are offered at chosen times, nobody sleeps.
void TstClients::flowControl()
{
    QFETCH(int, pending);
    QFETCH(int, framesBefore);
    QFETCH(int, returnData);
    QFETCH(int, gapMs);

    ClientsManager manager; // not started: only its message handling is used
    RawPeer peer;
    StreamClient client(0, &manager, QRect(0, 0, 100, 100));
    client.setTarget(QHostAddress::LocalHost, peer.port(), 5, true);
    client.start();
    Receiver receiver;
    QVERIFY(acceptReceiver(peer, receiver, 5));
    QTRY_VERIFY(client.video().isEstablished());
    auto deliver = [&](const QByteArray &pReport) {
        RawPeer::writeFrame(receiver.controls, pReport);
        // the handshake answers come first
        return QTest::qWaitFor([&] {
            for (StreamConnection *socket : {&client.controls(), &client.video()}) {
                while (socket->hasReceived()) {
                    const QByteArray message = socket->takeReceived();
                    manager.processMessage(&client, message);
                    if (message == pReport)
                        return true;
                }
            }
            return false;
        });
    };

    const qint64 t0 = 1000000;
    int number = 0;
    for (int i = 0; i < framesBefore; ++i) {
        QVERIFY(client.offerFrame(FakeCompressor::packet(++number, "before", i == 0), t0));
        QCOMPARE(nextNonCursor(receiver.video), QByteArray("FRAME     before"));
    }
    QCOMPARE(client.framesInFlight(), framesBefore);
    if (pending >= 0)
        QVERIFY(deliver(RawPeer::command("PENDINGFRA", int32Bytes(pending))));
    for (int i = 0; i < returnData; ++i)
        QVERIFY(deliver(RawPeer::command("RETURNDATA")));

    if (gapMs < 0) {
        QVERIFY(!client.canTakeFrame(t0 + 100000));
        QVERIFY(!client.offerFrame(FakeCompressor::packet(++number, "never", true), t0 + 100000));
        QCOMPARE(client.lastSentFrame(), number - 1);
        return;
    }
    if (gapMs > 0) {
        // Too early: skipped, and the chain of references is broken.
        QVERIFY(!client.canTakeFrame(t0 + gapMs - 1));
        QVERIFY(!client.offerFrame(FakeCompressor::packet(++number, "early", false), t0 + gapMs - 1));
        QVERIFY(client.isWaitingForKey());
        QVERIFY(!client.offerFrame(FakeCompressor::packet(++number, "no-key", false), t0 + gapMs));
    }
    QVERIFY(client.canTakeFrame(t0 + gapMs));
    QVERIFY(client.offerFrame(FakeCompressor::packet(++number, "measured", gapMs > 0), t0 + gapMs));
    QCOMPARE(nextNonCursor(receiver.video), QByteArray("FRAME     measured"));
    QCOMPARE(client.lastSentFrame(), number);
}

void TstClients::delayFormula_data()
{
    QTest::addColumn<bool>("returnDataMode");
    QTest::addColumn<int>("inFlight");
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("delay");
    QTest::newRow("idle") << false << 0 << 0 << 0;
    QTest::newRow("pending 3") << false << 0 << 3 << 20;
    QTest::newRow("pending 27") << false << 0 << 27 << 500;
    QTest::newRow("pending 28") << false << 0 << 28 << 520;
    QTest::newRow("pending huge") << false << 0 << 2147483647 << 520;
    QTest::newRow("pending negative") << false << 0 << -2147483647 - 1 << 0;
    QTest::newRow("in flight 13") << true << 13 << 99 << 60;
    QTest::newRow("in flight 10") << true << 10 << 0 << 0;
}

void TstClients::delayFormula()
{
    QFETCH(bool, returnDataMode);
    QFETCH(int, inFlight);
    QFETCH(int, pending);
    QFETCH(int, delay);
    QCOMPARE(StreamClient::frameDelayMs(returnDataMode, inFlight, pending), delay);
}

void TstClients::cursorNeedsTheScreenGeometry_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<int>("queued");
    QTest::newRow("known screen") << QRect(0, 0, 640, 480) << 1;
    QTest::newRow("no screen of that name") << QRect() << 0;
}

void TstClients::cursorNeedsTheScreenGeometry()
{
    QFETCH(QRect, screen);
    QFETCH(int, queued);
    StreamClient client(0, nullptr, screen);
    client.start(); // no target: the connection fails, the queues stay
    QTest::qWait(StreamClient::CursorIntervalMs + 10);
    client.sendMousePosition();
    QCOMPARE(client.video().queuedCount(1), queued);
}

void TstClients::remoteInteractionSwitch()
{
    start();
    RawPeer peer;
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 1, true);
    Receiver receiver;
    QVERIFY(acceptReceiver(peer, receiver, 1));
    // vk 0x41 'A', scan 0x1E, press
    const QByteArray key = RawPeer::command("KEYB_EVENT", QByteArray("\x00\x41\x00\x1E\x00", 5));
    RawPeer::writeFrame(receiver.controls, key);
    // Established: frames are wanted. PENDINGFRA still acts with interaction
    // off: then no frame is. (Sent only after the first look, which could
    // otherwise miss the short wanted spell.)
    QTRY_VERIFY(mCompressor->wanted());
    RawPeer::writeFrame(receiver.video, RawPeer::command("PENDINGFRA", int32Bytes(28)));
    QTRY_VERIFY(!mCompressor->wanted());
    mManager->push(FakeCompressor::packet(1, "held back", true));
    QVERIFY(mBackend->keys().empty());

    mManager->setRemoteInteraction(true);
    RawPeer::writeFrame(receiver.controls, key.left(14)); // too short: ignored
    RawPeer::writeFrame(receiver.controls, key);
    QTRY_COMPARE(mBackend->keys().size(), size_t(1));
    RawPeer::writeFrame(receiver.video, RawPeer::command("PENDINGFRA", int32Bytes(0)));
    QTRY_VERIFY(mCompressor->wanted());
    mManager->push(FakeCompressor::packet(2, "sent", true));
    QCOMPARE(nextNonCursor(receiver.video), QByteArray("FRAME     sent"));
}

void TstClients::receiverDisconnectEndsClient()
{
    start();
    RawPeer peer;
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 2, true);
    Receiver receiver;
    QVERIFY(acceptReceiver(peer, receiver, 2));
    RawPeer::writeFrame(receiver.controls, RawPeer::command("DISCONNECT"));
    QTRY_VERIFY_WITH_TIMEOUT(!mManager->hasClients(), 10000);
    for (QTcpSocket *conn : {receiver.video, receiver.controls}) {
        QByteArray payload;
        while (RawPeer::readFrame(conn, payload, 5000)) {
        }
        QCOMPARE(conn->state(), QAbstractSocket::UnconnectedState);
    }
}

void TstClients::peerCloseDropsClient()
{
    start();
    RawPeer peer;
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 3, true);
    Receiver receiver;
    QVERIFY(acceptReceiver(peer, receiver, 3));
    receiver.video->abort();
    QTRY_VERIFY_WITH_TIMEOUT(!mManager->hasClients(), 10000);
    // The other connection is closed by the library, with a DISCONNECT since it asked for the stop.
    QByteArray last;
    QByteArray payload;
    while (RawPeer::readFrame(receiver.controls, payload, 5000))
        if (!payload.isEmpty())
            last = payload;
    QCOMPARE(last, QByteArray("DISCONNECT"));
}

void TstClients::stopDisconnectsEveryClient()
{
    start();
    RawPeer peer;
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 4, true);
    Receiver first;
    QVERIFY(acceptReceiver(peer, first, 4));
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 5, true);
    Receiver second;
    QVERIFY(acceptReceiver(peer, second, 5));
    mManager->requestStop();
    QVERIFY(!mManager->hasClients());
    for (QTcpSocket *conn : {first.video, first.controls, second.video, second.controls})
        QCOMPARE(nextNonCursor(conn), QByteArray("DISCONNECT"));
    QVERIFY(mManager->wait(10000));
    // A restarted manager begins with no client.
    mManager->start();
    QVERIFY(!mManager->hasClients());
}

void TstClients::everyReceiverGetsEveryFrame()
{
    start();
    RawPeer peer;
    Receiver receivers[2];
    for (quint32 id : {21u, 22u}) {
        mManager->addClient(QHostAddress::LocalHost, peer.port(), id, true);
        QVERIFY(acceptReceiver(peer, receivers[id - 21], id));
    }
    // Both established: the first key frame goes to both.
    QTRY_VERIFY(mCompressor->wanted());
    for (int i = 0; i < 6; ++i) {
        mManager->push(FakeCompressor::packet(i, "frame-" + QByteArray::number(i), i == 0));
        for (Receiver &receiver : receivers)
            QCOMPARE(nextNonCursor(receiver.video), "FRAME     frame-" + QByteArray::number(i));
    }
}

void TstClients::joiningReceiverStartsWithAKeyFrame()
{
    start();
    RawPeer peer;
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 31, true);
    Receiver first;
    QVERIFY(acceptReceiver(peer, first, 31));
    QTRY_VERIFY(mCompressor->wanted());
    mManager->push(FakeCompressor::packet(1, "key-1", true));
    mManager->push(FakeCompressor::packet(2, "p-2", false));
    QCOMPARE(nextNonCursor(first.video), QByteArray("FRAME     key-1"));
    QCOMPARE(nextNonCursor(first.video), QByteArray("FRAME     p-2"));

    // A receiver joins mid-stream: the encoder is asked for a key frame, and
    // the new receiver gets nothing before it.
    const int keyRequests = mCompressor->keyRequests();
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 32, true);
    Receiver second;
    QVERIFY(acceptReceiver(peer, second, 32));
    QTRY_VERIFY(mCompressor->keyRequests() > keyRequests);
    mManager->push(FakeCompressor::packet(3, "p-3", false));
    mManager->push(FakeCompressor::packet(4, "key-4", true));
    mManager->push(FakeCompressor::packet(5, "p-5", false));
    for (const char *expected : {"FRAME     p-3", "FRAME     key-4", "FRAME     p-5"})
        QCOMPARE(nextNonCursor(first.video), QByteArray(expected));
    QCOMPARE(nextNonCursor(second.video), QByteArray("FRAME     key-4"));
    QCOMPARE(nextNonCursor(second.video), QByteArray("FRAME     p-5"));
}

void TstClients::receiverThatReadsNothingSlowsOnlyItself()
{
    start();
    RawPeer peer;
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 41, true);
    Receiver reading;
    QVERIFY(acceptReceiver(peer, reading, 41));
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 42, true);
    Receiver stuck; // never read again
    QVERIFY(acceptReceiver(peer, stuck, 42));
    // A flow-control report that used to put the manager to sleep for a second
    // at a time, holding the lock the GUI thread needs.
    RawPeer::writeFrame(stuck.controls, RawPeer::command("PENDINGFRA", int32Bytes(27)));
    QTRY_VERIFY(mCompressor->wanted());

    // Large packets fill the stuck receiver's buffers and its queue; the other
    // receiver gets every one of them.
    const QByteArray big(256 * 1024, 'x');
    qint64 slowestCall = 0;
    QElapsedTimer call;
    for (int i = 0; i < 40; ++i) {
        const QByteArray data = QByteArray::number(i) + ':' + big;
        mManager->push(FakeCompressor::packet(i, data, i == 0));
        QByteArray message = nextNonCursor(reading.video);
        QCOMPARE(message.left(10), QByteArray("FRAME     "));
        QCOMPARE(message.mid(10).left(data.indexOf(':') + 1), data.left(data.indexOf(':') + 1));
        // The GUI thread's calls meanwhile.
        call.start();
        QVERIFY(mManager->hasClients());
        if (i % 10 == 5) {
            mManager->pauseClients();
            mManager->resumeClients();
            mManager->push(FakeCompressor::packet(1000 + i, "key-after-pause:" + big, true));
            QCOMPARE(nextNonCursor(reading.video).left(10), QByteArray("PAUSE     "));
            QCOMPARE(nextNonCursor(reading.video).left(26), QByteArray("FRAME     key-after-pause:"));
        }
        slowestCall = qMax(slowestCall, call.elapsed());
    }
    // Generous: the point is that nothing waits on the stuck receiver.
    QVERIFY2(slowestCall < 200, qPrintable(QString::number(slowestCall)));
    call.start();
    mManager->addClient(QHostAddress::LocalHost, peer.port(), 43, true);
    mManager->requestStop();
    QVERIFY2(call.elapsed() < 200, qPrintable(QString::number(call.elapsed())));
    QVERIFY(mManager->wait(10000));
}

QTEST_MAIN(TstClients)
#include "tst_clients.moc"
