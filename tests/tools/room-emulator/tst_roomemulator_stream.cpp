// SPDX-License-Identifier: GPL-2.0-or-later
// The emulator's stream receiver: handshake, descriptors, H.264 frames made
// by FFmpeg's own encoder, flow control and input commands, from a raw peer.
#include "framepeer.h"
#include "streampeer.h"

#include <QImage>
#include <QJsonArray>
#include <QTemporaryDir>

class TestRoomEmulatorStream : public QObject {
    Q_OBJECT
private slots:
    void decodesFfmpegStream_data();
    void decodesFfmpegStream();
    void lumaAndDumps();
    void cursorPauseDisconnect();
    void streamOnMainPort();
    void faults();
    void commands_data();
    void commands();
    void malformed_data();
    void malformed();
};

void TestRoomEmulatorStream::decodesFfmpegStream_data()
{
    QTest::addColumn<bool>("zeroLatency");
    QTest::newRow("zero latency: one picture per frame") << true;
    QTest::newRow("B-frames: pictures held back until the end") << false;
}

void TestRoomEmulatorStream::decodesFfmpegStream()
{
    QFETCH(bool, zeroLatency);
    QString error;
    const QList<QByteArray> units = encode("testsrc=size=320x240:rate=25", 10, &error, zeroLatency);
    if (units.isEmpty())
        QFAIL(qPrintable(error));
    QCOMPARE(units.size(), 10);

    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--return-data"}));
    FramePeer video, controls;
    QVERIFY(openStream(video, emu.streamPort(), 42, true));
    QVERIFY(openStream(controls, emu.streamPort(), 42, false));
    const QJsonObject handshake = emu.waitForEvent("stream.handshake");
    QVERIFY(handshake.value("ok").toBool());
    QCOMPARE(handshake.value("id").toInt(), 42);
    for (const char *role : {"video", "controls"}) {
        const QJsonObject ready =
            emu.waitForEvent("stream.ready", [&](const QJsonObject &e) { return e.value("role") == role; });
        QVERIFY2(ready.value("order_ok").toBool(), role);
        QCOMPARE(ready.value("stream").toInt(), 42);
    }

    for (const QByteArray &unit : units)
        video.send(commandOf("FRAME", unit));
    int pictures = 0;
    for (int i = 0; i < units.size(); ++i) {
        const QJsonObject frame = emu.waitForEvent("stream.frame");
        QVERIFY2(!frame.isEmpty(), "frame event missing");
        QCOMPARE(frame.value("seq").toInt(), i + 1);
        QCOMPARE(frame.value("size").toInt(), units[i].size());
        QCOMPARE(frame.value("key").toBool(), i == 0);
        QVERIFY(!frame.contains("error"));
        QVERIFY(frame.value("arrival_us").toDouble() > 0);
        if (zeroLatency)
            QCOMPARE(frame.value("decoded").toInt(), 1);
        pictures += frame.value("decoded").toInt();
        if (frame.value("decoded").toInt() > 0) {
            QCOMPARE(frame.value("width").toInt(), 320);
            QCOMPARE(frame.value("height").toInt(), 240);
        }
        // One RETURNDATA per frame, on the video connection.
        QCOMPARE(video.readFrame(), commandOf("RETURNDATA"));
    }
    video.send(commandOf("DISCONNECT"));
    const QJsonObject flush = emu.waitForEvent("stream.flush");
    QCOMPARE(pictures + flush.value("decoded").toInt(), 10);
    QCOMPARE(flush.value("total_pictures").toInt(), 10);
}

void TestRoomEmulatorStream::lumaAndDumps()
{
    QString error;
    const QList<QByteArray> units =
        encode("color=c=white:size=320x240:rate=25,drawbox=x=160:y=0:w=160:h=240:color=black:t=fill", 3, &error);
    if (units.isEmpty())
        QFAIL(qPrintable(error));
    QTemporaryDir dir;
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--luma-grid", "0,80,320,80,2,1", "--luma-block", "0,0,400,10", "--dump-frames", dir.path(),
                       "--dump-every", "2"}));
    FramePeer video;
    QVERIFY(openStream(video, emu.streamPort(), 7, true));
    for (const QByteArray &unit : units)
        video.send(commandOf("FRAME", unit));
    QStringList dumps;
    for (int i = 0; i < units.size(); ++i) {
        const QJsonObject frame = emu.waitForEvent("stream.frame");
        const QJsonArray luma = frame.value("luma").toArray();
        QCOMPARE(luma.size(), 3);
        QCOMPARE(luma.at(0).toInt(), -1); // the block leaves the picture
        QVERIFY2(luma.at(1).toInt() > 240, qPrintable(QString::number(luma.at(1).toInt())));
        QVERIFY2(luma.at(2).toInt() < 15, qPrintable(QString::number(luma.at(2).toInt())));
        QCOMPARE(frame.value("bits").toString(), QString("10"));
        if (frame.contains("dump"))
            dumps.append(frame.value("dump").toString());
    }
    QCOMPARE(dumps.size(), 2); // pictures 1 and 3
    const QImage image(dumps.first());
    QCOMPARE(image.size(), QSize(320, 240));
    QVERIFY(qGray(image.pixel(50, 120)) > 240);
    QVERIFY(qGray(image.pixel(270, 120)) < 15);
}

void TestRoomEmulatorStream::cursorPauseDisconnect()
{
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({}));
    FramePeer video;
    QVERIFY(openStream(video, emu.streamPort(), 5, true));
    video.send(commandOf("MOUSEPOS", f32(0.25f) + f32(-0.5f) + le32(0x11223344) + le32(0x00000055)));
    const QJsonObject pos = emu.waitForEvent("stream.mousepos");
    QCOMPARE(pos.value("x").toDouble(), 0.25);
    QCOMPARE(pos.value("y").toDouble(), -0.5);
    QCOMPARE(qint64(pos.value("time_ms").toDouble()), (qint64(0x55) << 32) | 0x11223344);
    video.send(commandOf("PAUSE"));
    QVERIFY(!emu.waitForEvent("stream.pause").isEmpty());
    video.send(commandOf("NEWTHING", "x"));
    QCOMPARE(emu.waitForEvent("stream.unknown").value("size").toInt(), 11);
    video.send(commandOf("DISCONNECT"));
    QVERIFY(!emu.waitForEvent("stream.disconnect").isEmpty());
    QVERIFY(video.waitClosed());
}

void TestRoomEmulatorStream::streamOnMainPort()
{
    // A receiver that names its main TCP port as the stream endpoint still
    // takes the stream there.
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({}));
    FramePeer video;
    QVERIFY(openStream(video, emu.tcpPort(), 11, true));
    const QJsonObject ready = emu.waitForEvent("stream.ready");
    QCOMPARE(ready.value("role").toString(), QString("video"));
    QCOMPARE(ready.value("stream").toInt(), 11);
    emu.command({{"cmd", "pending"}, {"frames", 2}});
    QCOMPARE(video.readFrame(), commandOf("PENDINGFRA", le32(2)));
}

void TestRoomEmulatorStream::faults()
{
    {
        RoomEmulatorProcess emu;
        QVERIFY(emu.start({"--fault", "garbage"}));
        FramePeer video;
        QVERIFY(openStream(video, emu.streamPort(), 3, true));
        QCOMPARE(video.readFrame(), QByteArray("SHORT"));
        QCOMPARE(video.readFrame(), commandOf("MOUS_EVENT", QByteArray(3, '\x01')));
    }
    {
        RoomEmulatorProcess emu;
        QVERIFY(emu.start({"--fault", "oversized-frame"}));
        FramePeer video;
        QVERIFY(openStream(video, emu.streamPort(), 3, true));
        QByteArray length;
        QVERIFY(video.readExactly(4, &length));
        QCOMPARE(readLe32(length, 0), 0x7fffffffu);
    }
}

void TestRoomEmulatorStream::commands_data()
{
    QTest::addColumn<QJsonObject>("command");
    QTest::addColumn<bool>("onVideo");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("mouse") << QJsonObject{{"cmd", "input"}, {"kind", "mouse"}, {"pointer", 3}, {"x", 0.5},
                                          {"y", 0.25},      {"action", 2},     {"button", 1}}
                           << false
                           << commandOf("MOUS_EVENT", le32(3) + f32(0.5f) + f32(0.25f) + QByteArray::fromHex("0201"));
    QTest::newRow("relative") << QJsonObject{{"cmd", "input"}, {"kind", "rpos"}, {"x", -2}, {"y", 4}} << false
                              << commandOf("RPOS_EVENT", le32(0) + f32(-2) + f32(4) + QByteArray::fromHex("0000"));
    QTest::newRow("key") << QJsonObject{{"cmd", "input"}, {"kind", "key"}, {"action", 1}, {"vk", 0x41}, {"scan", 0x1e}}
                         << false << commandOf("KEYB_EVENT", QByteArray::fromHex("0141001e00"));
    QTest::newRow("touch") << QJsonObject{{"cmd", "input"}, {"kind", "touch"}, {"contact", 1}, {"x", 0.1},
                                          {"y", 0.9},       {"action", 2},     {"flag", 6}}
                           << false << commandOf("TACT_EVENT", le32(1) + f32(0.1f) + f32(0.9f) + le32(2) + le32(6));
    QTest::newRow("key on video") << QJsonObject{{"cmd", "input"}, {"kind", "key"}, {"conn", "video"}} << true
                                  << commandOf("KEYB_EVENT", QByteArray(5, '\0'));
    QTest::newRow("pending") << QJsonObject{{"cmd", "pending"}, {"frames", 5}} << true
                             << commandOf("PENDINGFRA", le32(5));
    QTest::newRow("returndata") << QJsonObject{{"cmd", "returndata"}} << true << commandOf("RETURNDATA");
    QTest::newRow("disconnect") << QJsonObject{{"cmd", "stream-disconnect"}} << true << commandOf("DISCONNECT");
}

void TestRoomEmulatorStream::commands()
{
    QFETCH(QJsonObject, command);
    QFETCH(bool, onVideo);
    QFETCH(QByteArray, payload);
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({}));
    FramePeer video, controls;
    QVERIFY(openStream(video, emu.streamPort(), 9, true));
    QVERIFY(openStream(controls, emu.streamPort(), 9, false));
    QVERIFY(!emu.waitForEvent("stream.ready").isEmpty());
    QVERIFY(!emu.waitForEvent("stream.ready").isEmpty());
    emu.command(command);
    QVERIFY(!emu.waitForEvent("cmd.ok").isEmpty());
    QCOMPARE((onVideo ? video : controls).readFrame(), payload);
}

void TestRoomEmulatorStream::malformed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("afterHandshake");
    QTest::newRow("bad handshake") << frameOf("{ \"connection_type\" : \"STREAM_AUDIO\", \"ID\" : 1}") << false;
    QTest::newRow("short command") << frameOf("FRAME") << true;
    QTest::newRow("short mouse position") << frameOf(commandOf("MOUSEPOS", "abc")) << true;
    QTest::newRow("oversized frame") << le32(0x80000000u) << true;
}

void TestRoomEmulatorStream::malformed()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, afterHandshake);
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({}));
    FramePeer peer;
    if (afterHandshake)
        QVERIFY(openStream(peer, emu.streamPort(), 1, true));
    else
        QVERIFY(peer.connectTo(emu.streamPort()));
    peer.sendRaw(bytes);
    QVERIFY(peer.waitClosed());
    QVERIFY(!emu.waitForEvent("conn.malformed").isEmpty());
    FramePeer next;
    QVERIFY(openStream(next, emu.streamPort(), 2, true));
}

QTEST_GUILESS_MAIN(TestRoomEmulatorStream)
#include "tst_roomemulator_stream.moc"
