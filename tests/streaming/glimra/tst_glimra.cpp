// SPDX-License-Identifier: GPL-2.0-or-later
// The library through its exported class only, on a private 1366x768 Xvfb:
// a window painting a known pattern is streamed to a raw receiver, and
// libavcodec decodes what arrives.
#include <Glimra>

#include "../../support/randrmonitor.h"
#include "../compression/h264decoder.h"
#include "../transport/rawpeer.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <functional>

namespace {

constexpr int PatternWidth = 320;
constexpr int PatternHeight = 192;

// Blocks of 32 pixels in eight colours over a horizontal gradient: sharp
// edges on even coordinates (exact under 4:2:0) and smooth ramps.
QColor patternColour(int pX, int pY)
{
    static const QColor colours[8] = {Qt::red,    Qt::green, Qt::blue,    Qt::white,
                                      Qt::yellow, Qt::cyan,  Qt::magenta, QColor(90, 40, 10)};
    if ((pY / 32) % 2 == 0)
        return colours[((pX / 32) + (pY / 32)) % 8];
    const int v = pX * 255 / (PatternWidth - 1);
    return QColor(v, 255 - v, 128);
}

class PatternWindow : public QWidget {
public:
    PatternWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {}
    bool painted = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QImage image(PatternWidth, PatternHeight, QImage::Format_RGB32);
        for (int y = 0; y < PatternHeight; ++y)
            for (int x = 0; x < PatternWidth; ++x)
                image.setPixelColor(x, y, patternColour(x, y));
        QPainter(this).drawImage(0, 0, image);
        painted = true;
    }
};

QByteArray patternBgr()
{
    QByteArray out(PatternWidth * PatternHeight * 3, Qt::Uninitialized);
    for (int y = 0; y < PatternHeight; ++y) {
        for (int x = 0; x < PatternWidth; ++x) {
            const QColor c = patternColour(x, y);
            char *p = out.data() + (y * PatternWidth + x) * 3;
            p[0] = char(c.blue());
            p[1] = char(c.green());
            p[2] = char(c.red());
        }
    }
    return out;
}

QByteArray crop(const QByteArray &pBgr, int pWidth, int pX, int pY, int pW, int pH)
{
    QByteArray out;
    for (int y = pY; y < pY + pH; ++y)
        out.append(pBgr.mid((y * pWidth + pX) * 3, pW * 3));
    return out;
}

// The receiver side of one stream: both connections, handshakes answered.
struct Receiver {
    QTcpSocket *video = nullptr;
    QTcpSocket *controls = nullptr;

    bool accept(RawPeer &pPeer, quint32 pStreamId)
    {
        for (int i = 0; i < 2; ++i) {
            QTcpSocket *conn = pPeer.accept(15000);
            QByteArray handshake;
            if (!conn || !RawPeer::readFrame(conn, handshake) ||
                handshake != QByteArray("{ \"connection_type\" : \"STREAM_VIDEO\", \"ID\" : ") +
                                 QByteArray::number(pStreamId) + '}')
                return false;
            RawPeer::writeFrame(conn, "OK");
            RawPeer::readMessage(conn); // ID
            if (RawPeer::readMessage(conn) == "STREAMTYPEVIDEO") {
                video = conn;
                RawPeer::readMessage(conn); // CODEC
            } else {
                controls = conn;
                RawPeer::readMessage(conn); // TOUCH
                RawPeer::readMessage(conn); // TRACKPAD
            }
        }
        return video && controls;
    }

    // The next message on VIDEO that is not a cursor position.
    QByteArray nextVideo(int pTimeoutMs = 15000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < pTimeoutMs) {
            const QByteArray message = RawPeer::readMessage(video, pTimeoutMs);
            if (message.isEmpty() || !message.startsWith("MOUSEPOS"))
                return message;
        }
        return QByteArray();
    }
};

bool endsWithDisconnect(QTcpSocket *pConn)
{
    QByteArray payload, last;
    while (RawPeer::readFrame(pConn, payload, 8000))
        if (!payload.isEmpty() && !payload.startsWith("MOUSEPOS") && !payload.startsWith("FRAME"))
            last = payload;
    return last == "DISCONNECT";
}

} // namespace

class TstGlimra : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void idleAndStartedStates();
    void streamsThePictureOfTheSelectedMonitor_data();
    void streamsThePictureOfTheSelectedMonitor();
    void monitorCountChangeStopsStreaming();
    void receiverDisconnectEndsStreaming();
    void guiCallsReturnAtOnceWhileAReceiverIsThrottled();
    void receiverJoiningMidStreamStartsWithAKeyFrame();
};

void TstGlimra::cleanup()
{
    RandrMonitor::remove("LEFT");
    RandrMonitor::remove("RIGHT");
    QTRY_COMPARE(QGuiApplication::screens().size(), 1);
}

void TstGlimra::idleAndStartedStates()
{
    Glimra glimra;
    glimra.setImageQuality(75);
    glimra.setImageQuality(-20);
    QCOMPARE(glimra.getCurrentFPS(), 0.0f);
    QVERIFY(!glimra.isStreaming());
    glimra.setStreamedScreen(0);
    QCOMPARE(glimra.getStreamedScreenWidth(), 1364u);
    QCOMPARE(glimra.getStreamedScreenHeight(), 768u);
    QCOMPARE(glimra.getGrabbedScreenName(), QGuiApplication::screens().at(0)->name());
    glimra.start();
    QVERIFY(!glimra.isStreaming());
    QCOMPARE(glimra.getCurrentFPS(), 0.0f);
    glimra.pause(); // nobody to tell
    QVERIFY(glimra.isPaused());
    // A receiver added during a pause is not paused.
    RawPeer peer;
    glimra.streamTo("127.0.0.1", peer.port(), 11, true);
    Receiver receiver;
    QVERIFY(receiver.accept(peer, 11));
    QVERIFY(glimra.isStreaming());
    QVERIFY(receiver.nextVideo().startsWith("FRAME     "));
    glimra.stop();
    QVERIFY(!glimra.isPaused());
    QVERIFY(!glimra.isStreaming());
    QCOMPARE(glimra.getCurrentFPS(), 0.0f);
    QVERIFY(endsWithDisconnect(receiver.video));
    QVERIFY(endsWithDisconnect(receiver.controls));
    // A null address: the connection fails and the receiver is dropped.
    glimra.start();
    glimra.streamTo("not an address", 9, 12, true);
    QTRY_VERIFY_WITH_TIMEOUT(!glimra.isStreaming(), 15000);
    glimra.stop();
}

void TstGlimra::streamsThePictureOfTheSelectedMonitor_data()
{
    QTest::addColumn<bool>("twoMonitors");
    QTest::addColumn<int>("monitorX");
    QTest::addColumn<int>("expectedWidth");
    QTest::newRow("1366 wide screen") << false << 0 << 1364;
    QTest::newRow("right of two monitors") << true << 682 << 684;
}

void TstGlimra::streamsThePictureOfTheSelectedMonitor()
{
    QFETCH(bool, twoMonitors);
    QFETCH(int, monitorX);
    QFETCH(int, expectedWidth);
    Glimra glimra;
    QString name = QGuiApplication::screens().at(0)->name();
    int index = 0;
    if (twoMonitors) {
        QVERIFY(RandrMonitor::set("LEFT", 0, 0, 682, 768));
        QVERIFY(RandrMonitor::set("RIGHT", 682, 0, 684, 768));
        name = "RIGHT";
        // The monitors in the library's order.
        for (index = 0; index < 4; ++index) {
            glimra.setStreamedScreen(index);
            if (glimra.getGrabbedScreenName() == name)
                break;
        }
    }

    const QPoint at(100, 60); // inside the monitor, even coordinates
    PatternWindow window;
    window.setGeometry(monitorX + at.x(), at.y(), PatternWidth, PatternHeight);
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(window.painted, 10000);
    QCursor::setPos(monitorX + at.x() + 40, at.y() + 40); // never drawn into the picture
    QTRY_COMPARE(QCursor::pos(), QPoint(monitorX + at.x() + 40, at.y() + 40));

    glimra.setImageQuality(75);
    glimra.setStreamedScreen(index);
    QCOMPARE(glimra.getGrabbedScreenName(), name);
    QCOMPARE(int(glimra.getStreamedScreenWidth()), expectedWidth);
    QCOMPARE(glimra.getStreamedScreenHeight(), 768u);
    glimra.remoteInteractionActived(false);
    glimra.start();
    RawPeer peer;
    glimra.streamTo("127.0.0.1", peer.port(), 42, true);
    Receiver receiver;
    QVERIFY(receiver.accept(peer, 42));
    QVERIFY(glimra.isStreaming());

    H264Decoder decoder;
    const QByteArray expected = patternBgr();
    double psnr = 0;
    for (int i = 0; i < 12; ++i) {
        const QByteArray message = receiver.nextVideo();
        QVERIFY2(message.startsWith("FRAME     "), message.left(10).constData());
        const QByteArray packet = message.mid(10);
        if (i == 0) {
            const QList<int> nals = H264Decoder::nalTypes(packet);
            QVERIFY2(nals.contains(7) && nals.contains(8) && nals.contains(5), "key frame with SPS and PPS first");
        }
        QByteArray picture;
        int width = 0, height = 0;
        QVERIFY(decoder.decode(packet, picture, width, height));
        QCOMPARE(width, expectedWidth);
        QCOMPARE(height, 768);
        psnr = H264Decoder::psnr(crop(picture, width, at.x(), at.y(), PatternWidth, PatternHeight), expected);
    }
    QVERIFY2(psnr >= 35.0, qPrintable(QString::number(psnr)));

    // Pause: one PAUSE, then nothing but keep-alives; restart: frames again, no message first.
    glimra.pause();
    const qint64 pausedAt = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(glimra.isPaused());
    QByteArray message;
    do {
        message = receiver.nextVideo();
    } while (message.startsWith("FRAME"));
    QCOMPARE(message, QByteArray("PAUSE     "));
    QElapsedTimer quiet;
    quiet.start();
    QByteArray payload;
    while (quiet.elapsed() < 400) {
        QVERIFY(RawPeer::readFrame(receiver.video, payload));
        // A cursor position queued before the pause may still leave behind it.
        if (payload.startsWith("MOUSEPOS") && payload.size() == 26 &&
            qFromLittleEndian<qint64>(payload.constData() + 18) <= pausedAt)
            continue;
        QVERIFY2(payload.isEmpty(), payload.left(10).constData());
    }
    glimra.restart();
    QVERIFY(!glimra.isPaused());
    QVERIFY(receiver.nextVideo().startsWith("FRAME     "));

    glimra.stop();
    QVERIFY(!glimra.isStreaming());
    QVERIFY(endsWithDisconnect(receiver.video));
    QVERIFY(endsWithDisconnect(receiver.controls));
}

void TstGlimra::monitorCountChangeStopsStreaming()
{
    Glimra glimra;
    glimra.setStreamedScreen(0);
    glimra.start();
    RawPeer peer;
    glimra.streamTo("127.0.0.1", peer.port(), 5, true);
    Receiver receiver;
    QVERIFY(receiver.accept(peer, 5));
    QVERIFY(receiver.nextVideo().startsWith("FRAME     "));
    glimra.pause();
    QVERIFY(glimra.isStreaming());
    QVERIFY(RandrMonitor::set("LEFT", 0, 0, 682, 768));
    QTRY_VERIFY_WITH_TIMEOUT(!glimra.isStreaming(), 10000);
    QVERIFY(!glimra.isPaused());
    QVERIFY(endsWithDisconnect(receiver.video));
    QVERIFY(endsWithDisconnect(receiver.controls));
}

void TstGlimra::receiverDisconnectEndsStreaming()
{
    Glimra glimra;
    glimra.setStreamedScreen(0);
    glimra.start();
    RawPeer peer;
    glimra.streamTo("127.0.0.1", peer.port(), 6, true);
    Receiver receiver;
    QVERIFY(receiver.accept(peer, 6));
    QVERIFY(glimra.isStreaming());
    RawPeer::writeFrame(receiver.controls, RawPeer::command("DISCONNECT"));
    QTRY_VERIFY_WITH_TIMEOUT(!glimra.isStreaming(), 10000);
    // A new receiver can be added to the still-running library.
    RawPeer again;
    glimra.streamTo("127.0.0.1", again.port(), 7, true);
    Receiver second;
    QVERIFY(second.accept(again, 7));
    QVERIFY(glimra.isStreaming());
    QVERIFY(second.nextVideo().startsWith("FRAME     "));
    glimra.stop();
}

void TstGlimra::guiCallsReturnAtOnceWhileAReceiverIsThrottled()
{
    Glimra glimra;
    glimra.setStreamedScreen(0);
    glimra.start();
    RawPeer peer;
    glimra.streamTo("127.0.0.1", peer.port(), 8, true);
    Receiver receiver;
    QVERIFY(receiver.accept(peer, 8));
    QVERIFY(receiver.nextVideo().startsWith("FRAME     "));
    // From now on the receiver reads nothing and reports a backlog that asks
    // for a second between frames.
    RawPeer::writeFrame(receiver.controls, RawPeer::command("PENDINGFRA", QByteArray("\x1B\x00\x00\x00", 4)));
    QTest::qWait(300);

    // Generous bounds: the calls must not wait for the network or the delay.
    QElapsedTimer timer;
    qint64 slowest = 0;
    QString slowestCall;
    auto measure = [&](const char *pName, const std::function<void()> &pCall) {
        timer.start();
        pCall();
        if (timer.elapsed() > slowest) {
            slowest = timer.elapsed();
            slowestCall = pName;
        }
    };
    RawPeer second;
    for (int i = 0; i < 5; ++i) {
        measure("isStreaming", [&] { QVERIFY(glimra.isStreaming()); });
        measure("pause", [&] { glimra.pause(); });
        measure("isPaused", [&] { QVERIFY(glimra.isPaused()); });
        measure("restart", [&] { glimra.restart(); });
        QTest::qWait(50);
    }
    measure("streamTo", [&] { glimra.streamTo("127.0.0.1", second.port(), 9, true); });
    measure("setImageQuality", [&] { glimra.setImageQuality(75); });
    measure("remoteInteractionActived", [&] { glimra.remoteInteractionActived(true); });
    measure("getStreamedScreenWidth", [&] { QCOMPARE(glimra.getStreamedScreenWidth(), 1364u); });
    measure("stop", [&] { glimra.stop(); });
    QVERIFY2(slowest < 200, qPrintable(QString("%1 took %2 ms").arg(slowestCall).arg(slowest)));
    QVERIFY(!glimra.isStreaming());
}

void TstGlimra::receiverJoiningMidStreamStartsWithAKeyFrame()
{
    // A window that changes all the time, so frames keep coming.
    QWidget ticker(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    ticker.setGeometry(40, 40, 200, 120);
    ticker.setAutoFillBackground(true);
    QTimer timer;
    int tick = 0;
    QObject::connect(&timer, &QTimer::timeout, &ticker, [&] {
        QPalette palette = ticker.palette();
        palette.setColor(QPalette::Window, QColor::fromHsv((tick += 23) % 360, 200, 220));
        ticker.setPalette(palette);
    });
    ticker.show();
    timer.start(10);

    Glimra glimra;
    glimra.setStreamedScreen(0);
    glimra.start();
    RawPeer peer;
    glimra.streamTo("127.0.0.1", peer.port(), 51, true);
    Receiver first;
    QVERIFY(first.accept(peer, 51));
    H264Decoder firstDecoder;
    auto decodeNext = [](Receiver &pReceiver, H264Decoder &pDecoder, QList<int> *pNals) {
        QByteArray message;
        // Keep the GUI thread's timer going while waiting.
        if (!QTest::qWaitFor(
                [&] { return pReceiver.video->bytesAvailable() > 0 || pReceiver.video->waitForReadyRead(5); }, 15000))
            return false;
        message = pReceiver.nextVideo();
        if (!message.startsWith("FRAME     "))
            return false;
        if (pNals)
            *pNals = H264Decoder::nalTypes(message.mid(10));
        QByteArray picture;
        int width = 0, height = 0;
        return pDecoder.decode(message.mid(10), picture, width, height);
    };
    for (int i = 0; i < 8; ++i)
        QVERIFY(decodeNext(first, firstDecoder, nullptr));

    glimra.streamTo("127.0.0.1", peer.port(), 52, true);
    Receiver second;
    QVERIFY(second.accept(peer, 52));
    H264Decoder secondDecoder;
    QList<int> nals;
    QVERIFY(decodeNext(second, secondDecoder, &nals));
    QVERIFY2(nals.contains(7) && nals.contains(8) && nals.contains(5), "the joiner's first frame is an IDR");
    for (int i = 0; i < 10; ++i) {
        QVERIFY(decodeNext(second, secondDecoder, nullptr));
        QVERIFY(decodeNext(first, firstDecoder, nullptr));
    }
    glimra.stop();
}

QTEST_MAIN(TstGlimra)
#include "tst_glimra.moc"
