// SPDX-License-Identifier: GPL-2.0-or-later
#include "compression/imagecompressorffmpeg.h"
#include "fakegrabber.h"
#include "h264decoder.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// Takes the next packet from the compressor's mailbox, as the client manager does.
bool nextPacket(ImageCompressor &pCompressor, FrameRecord &pOut, int pTimeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pCompressor.isFrameAvailable()) {
        if (timer.elapsed() > pTimeoutMs)
            return false;
        QThread::msleep(1);
    }
    pOut = pCompressor.takeFrame();
    return true;
}

} // namespace

class TstCompression : public QObject {
    Q_OBJECT
private slots:
    void keyFramesAndPicture_data();
    void keyFramesAndPicture();
    void oneImageInFlightPerStage();
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
    FakeGrabber grabber(width, height);
    ImageCompressorFFmpeg compressor;
    QCOMPARE(compressor.getCodec(), 1);
    compressor.setImageGrabber(&grabber);
    grabber.start();
    compressor.startCompressing();

    H264Decoder decoder;
    const QByteArray source = FakeGrabber::pattern(width, height);
    int sinceKey = 0;
    int previousNumber = -1;
    double lastPsnr = 0;
    for (int i = 0; i < 30; ++i) {
        FrameRecord packet;
        QVERIFY(nextPacket(compressor, packet));
        QCOMPARE(packet.width, width);
        QCOMPARE(packet.height, height);
        QVERIFY(packet.frameNumber > previousNumber);
        QCOMPARE(compressor.getLastFrameNumber(), packet.frameNumber);
        previousNumber = packet.frameNumber;
        const QList<int> nals = H264Decoder::nalTypes(packet.data);
        if (i == 0) {
            QVERIFY2(nals.contains(7) && nals.contains(8) && nals.contains(5), "first packet: SPS, PPS and IDR");
            QVERIFY(nals.indexOf(7) < nals.indexOf(5));
        }
        sinceKey = nals.contains(5) ? 0 : sinceKey + 1;
        QVERIFY2(sinceKey < 25, "key frames at most 25 frames apart");
        QByteArray picture;
        int w = 0, h = 0;
        QVERIFY(decoder.decode(packet.data, picture, w, h));
        QCOMPARE(w, width);
        QCOMPARE(h, height);
        lastPsnr = H264Decoder::psnr(picture, source);
    }
    QVERIFY2(lastPsnr >= 35.0, qPrintable(QString::number(lastPsnr)));
    compressor.stopCompressing();
    grabber.stopGrabbing();
}

void TstCompression::oneImageInFlightPerStage()
{
    FakeGrabber grabber(64, 48);
    ImageCompressorFFmpeg compressor;
    compressor.setImageGrabber(&grabber);
    grabber.start();
    compressor.startCompressing();
    // Nobody takes the packet: one packet waits, the grabber holds one image,
    // and the compressor takes no further image.
    QTRY_VERIFY_WITH_TIMEOUT(compressor.isFrameAvailable() && grabber.isImageAvailable(), 20000);
    const int takes = grabber.takes();
    const int published = grabber.published();
    const int number = compressor.getLastFrameNumber();
    QTest::qWait(300);
    QCOMPARE(grabber.takes(), takes);
    QCOMPARE(grabber.published(), published);
    QCOMPARE(compressor.getLastFrameNumber(), number);
    FrameRecord packet;
    QVERIFY(nextPacket(compressor, packet));
    QCOMPARE(packet.frameNumber, number);
    QVERIFY(nextPacket(compressor, packet));
    QVERIFY(packet.frameNumber > number);
    compressor.stopCompressing();
    grabber.stopGrabbing();
}

void TstCompression::reopensOnSizeChangeAndRestart()
{
    FakeGrabber grabber(160, 120);
    ImageCompressorFFmpeg compressor;
    compressor.setImageGrabber(&grabber);
    grabber.start();
    compressor.startCompressing();
    FrameRecord packet;
    for (int i = 0; i < 3; ++i)
        QVERIFY(nextPacket(compressor, packet));
    QVERIFY(!H264Decoder::nalTypes(packet.data).contains(7));

    grabber.setSize(96, 64);
    do {
        QVERIFY(nextPacket(compressor, packet));
    } while (packet.width != 96);
    QCOMPARE(packet.height, 64);
    QVERIFY(H264Decoder::nalTypes(packet.data).contains(7));
    QVERIFY(H264Decoder::nalTypes(packet.data).contains(5));

    // A new start opens the encoder afresh: a key frame again.
    for (int i = 0; i < 3; ++i)
        QVERIFY(nextPacket(compressor, packet));
    compressor.stopCompressing();
    grabber.stopGrabbing();
    grabber.start();
    compressor.startCompressing();
    QVERIFY(nextPacket(compressor, packet));
    QVERIFY(H264Decoder::nalTypes(packet.data).contains(7));
    QVERIFY(H264Decoder::nalTypes(packet.data).contains(5));
    compressor.stopCompressing();
    grabber.stopGrabbing();
}

void TstCompression::encoderThatCannotOpenDropsImages()
{
    // Wider than H.264 levels allow: libx264 refuses to open. The failure is
    // logged once, images are dropped, and a usable size works again.
    FakeGrabber grabber(20000, 8);
    ImageCompressorFFmpeg compressor;
    compressor.setImageGrabber(&grabber);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot open the H.264 encoder"));
    grabber.start();
    compressor.startCompressing();
    QTRY_VERIFY_WITH_TIMEOUT(grabber.takes() >= 5, 20000);
    QVERIFY(!compressor.isFrameAvailable());
    grabber.setSize(64, 48);
    FrameRecord packet;
    QVERIFY(nextPacket(compressor, packet));
    QCOMPARE(packet.width, 64);
    compressor.stopCompressing();
    grabber.stopGrabbing();
}

QTEST_GUILESS_MAIN(TstCompression)
#include "tst_compression.moc"
