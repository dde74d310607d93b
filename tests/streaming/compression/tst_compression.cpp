// SPDX-License-Identifier: GPL-2.0-or-later
#include "compression/imagecompressorffmpeg.h"
#include "fakegrabber.h"
#include "h264decoder.h"
#include "packetcollector.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// A grabber and a compressor wired to a collector, frames wanted.
struct Pipeline {
    Pipeline(int pWidth, int pHeight, bool pMoving) : grabber(pWidth, pHeight)
    {
        grabber.setMoving(pMoving);
        compressor.setImageGrabber(&grabber);
        compressor.setPacketSink(&packets);
        compressor.setFrameWanted(true);
        grabber.start();
        compressor.start();
    }
    ~Pipeline()
    {
        compressor.requestStop();
        grabber.requestStop();
        compressor.waitForStop();
        grabber.waitForStop();
    }
    FakeGrabber grabber;
    ImageCompressorFFmpeg compressor;
    PacketCollector packets;
};

} // namespace

class TstCompression : public QObject {
    Q_OBJECT
private slots:
    void keyFramesAndPicture_data();
    void keyFramesAndPicture();
    void stillPictureTopsOffThenSlowsDown();
    void changeIsEncodedWithinOneGrab();
    void keyFrameOnRequest();
    void nothingIsGrabbedWhileNoFrameIsWanted();
    void reopensOnSizeChangeAndRestart();
    void encoderThatCannotOpenDropsImages();
};

void TstCompression::keyFramesAndPicture_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("1364x768") << 1364 << 768;
    QTest::newRow("320x240") << 320 << 240;
}

void TstCompression::keyFramesAndPicture()
{
    QFETCH(int, width);
    QFETCH(int, height);
    Pipeline pipeline(width, height, false);
    QCOMPARE(pipeline.compressor.getCodec(), 1);

    // A still picture: the key frame and the top-off frames, sharp at the end.
    H264Decoder decoder;
    const QByteArray source = FakeGrabber::pattern(width, height);
    int sinceKey = 0;
    int previousNumber = -1;
    double lastPsnr = 0;
    auto check = [&](int pIndex) {
        EncodedPacket packet;
        if (!pipeline.packets.next(packet))
            return false;
        if (packet.width != width || packet.height != height || packet.frameNumber <= previousNumber)
            return false;
        previousNumber = packet.frameNumber;
        const QList<int> nals = H264Decoder::nalTypes(packet.data);
        if (pIndex == 0 && !(nals.contains(7) && nals.contains(8) && nals.contains(5) && packet.keyFrame &&
                             nals.indexOf(7) < nals.indexOf(5)))
            return false; // first packet: SPS, PPS and IDR
        if (packet.keyFrame != nals.contains(5))
            return false;
        sinceKey = nals.contains(5) ? 0 : sinceKey + 1;
        if (sinceKey >= 25)
            return false; // key frames at most 25 frames apart
        QByteArray picture;
        int w = 0, h = 0;
        if (!decoder.decode(packet.data, picture, w, h) || w != width || h != height)
            return false;
        lastPsnr = H264Decoder::psnr(picture, source);
        return true;
    };
    for (int i = 0; i <= ImageCompressorFFmpeg::TopOffFrames; ++i)
        QVERIFY2(check(i), qPrintable(QString("packet %1").arg(i)));
    QVERIFY2(lastPsnr >= 35.0, qPrintable(QString::number(lastPsnr)));
    QCOMPARE(pipeline.packets.opens(), 1);

    // Moving: every image is encoded, key frames keep their distance.
    pipeline.grabber.setMoving(true);
    for (int i = 0; i < 30; ++i)
        QVERIFY2(check(ImageCompressorFFmpeg::TopOffFrames + 1 + i), qPrintable(QString("moving packet %1").arg(i)));
}

void TstCompression::stillPictureTopsOffThenSlowsDown()
{
    Pipeline pipeline(160, 120, false);
    PacketCollector::Arrival arrival;
    for (int i = 0; i <= ImageCompressorFFmpeg::TopOffFrames; ++i)
        QVERIFY(pipeline.packets.next(arrival));
    // Then one frame per keep-alive interval, while the grabber keeps looking.
    const int grabsBefore = pipeline.grabber.grabs();
    qint64 previous = arrival.atMs;
    for (int i = 0; i < 3; ++i) {
        QVERIFY(pipeline.packets.next(arrival, 5000));
        const qint64 gap = arrival.atMs - previous;
        QVERIFY2(gap >= ImageCompressorFFmpeg::KeepAliveFrameMs - 60, qPrintable(QString::number(gap)));
        QVERIFY2(gap <= 2000, qPrintable(QString::number(gap)));
        QVERIFY(!arrival.packet.data.isEmpty());
        previous = arrival.atMs;
    }
    // Looking for changes goes on at the idle pace, not flat out.
    const int grabs = pipeline.grabber.grabs() - grabsBefore;
    QVERIFY2(grabs >= 3, qPrintable(QString::number(grabs)));
    QVERIFY2(grabs <= 3 * ImageCompressorFFmpeg::KeepAliveFrameMs / ImageCompressorFFmpeg::IdleGrabMs + 12,
             qPrintable(QString::number(grabs)));
}

void TstCompression::changeIsEncodedWithinOneGrab()
{
    Pipeline pipeline(160, 120, false);
    PacketCollector::Arrival arrival;
    for (int i = 0; i <= ImageCompressorFFmpeg::TopOffFrames; ++i)
        QVERIFY(pipeline.packets.next(arrival));
    // Idle once the grabs go on without packets.
    const int toppedOff = pipeline.grabber.grabs();
    QTRY_VERIFY(pipeline.grabber.grabs() >= toppedOff + 2);
    // A grab under way when the picture moves may still see the old one; the
    // next grab sees the change and is encoded.
    const int grabs = pipeline.grabber.grabs();
    pipeline.grabber.move();
    bool seen = false;
    while (!seen && pipeline.packets.next(arrival, 5000)) {
        QVERIFY2(arrival.packet.frameNumber <= grabs + 1, qPrintable(QString::number(arrival.packet.frameNumber)));
        seen = arrival.packet.frameNumber >= grabs;
    }
    QVERIFY(seen);
    // And the top-off follows at the full pace.
    const qint64 changedAt = arrival.atMs;
    for (int i = 0; i < ImageCompressorFFmpeg::TopOffFrames; ++i)
        QVERIFY(pipeline.packets.next(arrival, 5000));
    QVERIFY2(arrival.atMs - changedAt < ImageCompressorFFmpeg::KeepAliveFrameMs * 4,
             qPrintable(QString::number(arrival.atMs - changedAt)));
}

void TstCompression::keyFrameOnRequest()
{
    Pipeline pipeline(320, 240, true);
    EncodedPacket packet;
    for (int i = 0; i < 3; ++i)
        QVERIFY(pipeline.packets.next(packet));
    QVERIFY(!packet.keyFrame);
    pipeline.compressor.requestKeyFrame();
    // The request may meet an encode under way: the key frame is the next or the one after.
    bool key = false;
    for (int i = 0; i < 2 && !key; ++i) {
        QVERIFY(pipeline.packets.next(packet));
        key = packet.keyFrame;
    }
    QVERIFY(key);
    const QList<int> nals = H264Decoder::nalTypes(packet.data);
    QVERIFY2(nals.contains(7) && nals.contains(8) && nals.contains(5), "an IDR with its parameter sets");
    // It starts a stream of its own: a fresh decoder takes it and what follows.
    H264Decoder decoder;
    QByteArray picture;
    int w = 0, h = 0;
    QVERIFY(decoder.decode(packet.data, picture, w, h));
    for (int i = 0; i < 5; ++i) {
        QVERIFY(pipeline.packets.next(packet));
        QVERIFY(decoder.decode(packet.data, picture, w, h));
    }
}

void TstCompression::nothingIsGrabbedWhileNoFrameIsWanted()
{
    FakeGrabber grabber(64, 48);
    grabber.setMoving(true);
    ImageCompressorFFmpeg compressor;
    PacketCollector packets;
    compressor.setImageGrabber(&grabber);
    compressor.setPacketSink(&packets);
    grabber.start();
    compressor.start();
    QTest::qWait(200);
    QCOMPARE(grabber.grabs(), 0);
    QCOMPARE(packets.count(), 0);

    compressor.setFrameWanted(true);
    EncodedPacket packet;
    for (int i = 0; i < 5; ++i)
        QVERIFY(packets.next(packet));
    compressor.setFrameWanted(false);
    // At most the grab and the encode under way finish.
    QTest::qWait(100);
    const int grabs = grabber.grabs();
    const int count = packets.count();
    QTest::qWait(200);
    QCOMPARE(grabber.grabs(), grabs);
    QCOMPARE(packets.count(), count);
    compressor.stop();
    grabber.stop();
}

void TstCompression::reopensOnSizeChangeAndRestart()
{
    FakeGrabber grabber(160, 120);
    grabber.setMoving(true);
    ImageCompressorFFmpeg compressor;
    PacketCollector packets;
    compressor.setImageGrabber(&grabber);
    compressor.setPacketSink(&packets);
    compressor.setFrameWanted(true);
    grabber.start();
    compressor.start();
    EncodedPacket packet;
    for (int i = 0; i < 3; ++i)
        QVERIFY(packets.next(packet));
    QVERIFY(!H264Decoder::nalTypes(packet.data).contains(7));

    grabber.setSize(96, 64);
    do {
        QVERIFY(packets.next(packet));
    } while (packet.width != 96);
    QCOMPARE(packet.height, 64);
    QVERIFY(H264Decoder::nalTypes(packet.data).contains(7));
    QVERIFY(H264Decoder::nalTypes(packet.data).contains(5));
    QVERIFY(packet.keyFrame);
    QCOMPARE(packets.opens(), 2);

    // A new start opens the encoder afresh: a key frame again.
    for (int i = 0; i < 3; ++i)
        QVERIFY(packets.next(packet));
    compressor.stop();
    grabber.stop();
    while (packets.next(packet, 0)) {
    }
    grabber.start();
    compressor.start();
    QVERIFY(packets.next(packet));
    QVERIFY(H264Decoder::nalTypes(packet.data).contains(7));
    QVERIFY(H264Decoder::nalTypes(packet.data).contains(5));
    compressor.stop();
    grabber.stop();
}

void TstCompression::encoderThatCannotOpenDropsImages()
{
    // Wider than H.264 levels allow: libx264 refuses to open. The failure is
    // logged once, images are dropped, and a usable size works again.
    FakeGrabber grabber(20000, 8);
    grabber.setMoving(true);
    ImageCompressorFFmpeg compressor;
    PacketCollector packets;
    compressor.setImageGrabber(&grabber);
    compressor.setPacketSink(&packets);
    compressor.setFrameWanted(true);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot open the H.264 encoder"));
    grabber.start();
    compressor.start();
    QTRY_VERIFY_WITH_TIMEOUT(grabber.grabs() >= 5, 20000);
    QCOMPARE(packets.count(), 0);
    grabber.setSize(64, 48);
    EncodedPacket packet;
    QVERIFY(packets.next(packet));
    QCOMPARE(packet.width, 64);
    compressor.stop();
    grabber.stop();
}

QTEST_GUILESS_MAIN(TstCompression)
#include "tst_compression.moc"
