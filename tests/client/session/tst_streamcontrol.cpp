// SPDX-License-Identifier: GPL-2.0-or-later
// The stream state machine over a recording library: the order of calls and
// messages of a start, the room's endpoint (and its loopback rule), the
// sixth-tick give-up, pause, the full screen requests and the button looks.
#include "recordinglibrary.h"
#include "streamcontrol.h"

#include <QtEndian>
#include <QtTest>

using namespace Velmorant::Advanced;
using Flux = StreamButtonsLook::Flux;

namespace {

// The sent messages, named by their type word.
QString messageName(const QByteArray &pPayload)
{
    switch (qFromLittleEndian<qint32>(pPayload.constData())) {
    case 3:
        return "StreamRequest";
    case 22:
        return "FullscreenOn";
    case 23:
        return "FullscreenOff";
    case 25:
        return "ScreenSize " + QString::fromUtf8(pPayload.mid(4)).simplified();
    default:
        return "type " + QString::number(qFromLittleEndian<qint32>(pPayload.constData()));
    }
}

struct Fixture {
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    RecordingLibrary library{log};
    StreamControl control{library, [this](const QByteArray &p) { log->lines << "send " + messageName(p); }};

    void startStreaming()
    {
        control.fluxClicked(1);
        control.onStreamStart(true, {5000, 3, "10.1.2.3"}, "192.168.7.7");
        library.streaming = true;
        control.tick();
        log->lines.clear();
    }
};

} // namespace

class TestStreamControl : public QObject {
    Q_OBJECT
private slots:
    void startAnnouncesTheScreenThenAsks()
    {
        Fixture f;
        f.control.setScreenIndex(1);
        f.control.fluxClicked(2);
        QCOMPARE(f.log->lines, QStringList({"setStreamedScreen 1",
                                            "send ScreenSize { \"screenPhysicalHeight\": 1080, "
                                            "\"screenPhysicalWidth\": 1920 }",
                                            "send StreamRequest"}));
        QVERIFY(f.control.startPending());
        QCOMPARE(f.control.look().flux, Flux::Starting);
        QVERIFY(f.control.look().loaderVisible);

        // A second click while the start is pending does nothing.
        f.log->lines.clear();
        f.control.fluxClicked(2);
        QVERIFY(f.log->lines.isEmpty());
    }

    void streamedScreenFallsBackToTheFirst_data()
    {
        QTest::addColumn<int>("chosen");
        QTest::addColumn<int>("screens");
        QTest::addColumn<int>("streamed");
        QTest::newRow("exists") << 1 << 2 << 1;
        QTest::newRow("gone") << 2 << 1 << 0;
        QTest::newRow("negative") << -1 << 2 << 0;
    }
    void streamedScreenFallsBackToTheFirst()
    {
        QFETCH(int, chosen);
        QFETCH(int, screens);
        QTEST(StreamControl::streamedScreenIndex(chosen, screens), "streamed");
    }

    void streamStartUsesTheEndpoint_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("target");
        QTest::newRow("room loopback means the server") << "127.0.0.1"
                                                        << "192.168.7.7";
        QTest::newRow("other address unchanged") << "10.1.2.3"
                                                 << "10.1.2.3";
        QTest::newRow("other loopback unchanged") << "127.0.0.2"
                                                  << "127.0.0.2";
    }
    void streamStartUsesTheEndpoint()
    {
        QFETCH(QString, ip);
        QFETCH(QString, target);
        Fixture f;
        f.control.setRemoteControl(true);
        f.control.fluxClicked(1);
        f.log->lines.clear();
        f.control.onStreamStart(true, {50002, 9, ip}, "192.168.7.7");
        QCOMPARE(f.log->lines,
                 QStringList({"remoteInteractionActived 1", "start", QString("streamTo %1 50002 9 1").arg(target)}));
        QVERIFY(f.control.startPending());
    }

    void unusableStreamStartEndsThePendingStart_data()
    {
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("ip");
        QTest::newRow("does not parse") << false << 5000 << "10.0.0.1";
        QTest::newRow("port 0") << true << 0 << "10.0.0.1";
        QTest::newRow("empty Ip") << true << 5000 << "";
        QTest::newRow("Ip not an address") << true << 5000 << "display.local";
    }
    void unusableStreamStartEndsThePendingStart()
    {
        QFETCH(bool, valid);
        QFETCH(int, port);
        QFETCH(QString, ip);
        Fixture f;
        f.control.fluxClicked(1);
        f.log->lines.clear();
        f.control.onStreamStart(valid, {quint16(port), 1, ip}, "192.168.7.7");
        QVERIFY(f.log->lines.isEmpty());
        QVERIFY(!f.control.startPending());
        QCOMPARE(f.control.look().flux, Flux::Stopped);
    }

    void startIsGivenUpOnTheSixthTick()
    {
        Fixture f;
        f.control.fluxClicked(1);
        f.control.onStreamStart(true, {5000, 1, "10.0.0.1"}, "");
        for (int tick = 1; tick <= 5; ++tick) {
            QVERIFY(f.control.tick());
            QVERIFY2(f.control.startPending(), qPrintable(QString("tick %1").arg(tick)));
        }
        QVERIFY(f.control.tick());
        QVERIFY(!f.control.startPending());
        QVERIFY(!f.control.streaming());
        QCOMPARE(f.control.look().flux, Flux::Stopped);
        QVERIFY(!f.control.tick()); // nothing left to watch
    }

    void tickConfirmsAStart()
    {
        Fixture f;
        f.control.fluxClicked(1);
        f.control.tick();
        f.library.streaming = true;
        f.control.tick();
        QVERIFY(f.control.streaming());
        QVERIFY(!f.control.startPending());
        const StreamButtonsLook look = f.control.look();
        QCOMPARE(look.flux, Flux::Started);
        QCOMPARE(QString(look.fluxToolTip), QString("StopStreamText"));
        QVERIFY(look.pauseVisible);
        QVERIFY(!look.maximizeVisible && !look.minimizeVisible); // no full screen feature
    }

    void stopSendsNothing()
    {
        Fixture f;
        f.startStreaming();
        f.control.fluxClicked(1);
        QCOMPARE(f.log->lines, QStringList({"stop"}));
        QCOMPARE(f.control.look().flux, Flux::Stopped);
    }

    void libraryStoppingByItselfShowsStopped()
    {
        Fixture f;
        f.startStreaming();
        f.library.streaming = false;
        QVERIFY(f.control.tick());
        QCOMPARE(f.control.look().flux, Flux::Stopped);
    }

    void pauseFollowsTheLibrary()
    {
        Fixture f;
        f.control.pauseClicked(); // not streaming: nothing
        QVERIFY(f.log->lines.isEmpty());
        f.startStreaming();
        f.control.pauseClicked();
        QVERIFY(f.control.look().paused);
        f.control.pauseClicked();
        QCOMPARE(f.log->lines, QStringList({"pause", "restart"}));
        QVERIFY(!f.control.look().paused);
    }

    void maximizeWaitsForTheRoomsAnswer()
    {
        Fixture f;
        f.control.setFullscreenFeature(true);
        f.startStreaming();
        f.control.maximizeClicked();
        QVERIFY(f.control.isInFullscreen());
        QVERIFY(f.control.look().minimizeVisible);
        f.control.maximizeClicked();
        f.control.minimizeClicked();
        QCOMPARE(f.log->lines, QStringList({"send FullscreenOn"}));

        f.control.onFullscreenState(true, {true, true});
        QVERIFY(!f.control.fullscreenRequestPending());
        f.control.minimizeClicked();
        QVERIFY(!f.control.isInFullscreen());
        // A minimize does not wait for an answer.
        f.control.maximizeClicked();
        QCOMPARE(f.log->lines, QStringList({"send FullscreenOn", "send FullscreenOff", "send FullscreenOn"}));
    }

    void fullscreenClicksNeedAStream()
    {
        Fixture f;
        f.control.setFullscreenFeature(true);
        f.control.maximizeClicked();
        f.control.minimizeClicked();
        QVERIFY(f.log->lines.isEmpty());
    }

    void fullscreenButtonsLook_data()
    {
        QTest::addColumn<bool>("feature");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<bool>("inFullscreen");
        QTest::addColumn<QString>("expected"); // maximize, minimize: visible+enabled; usable image
        QTest::newRow("no feature") << false << true << true << "max=00 min=00 usable=1";
        QTest::newRow("allowed, windowed") << true << true << false << "max=11 min=00 usable=1";
        QTest::newRow("allowed, full screen") << true << true << true << "max=00 min=11 usable=1";
        QTest::newRow("not allowed, windowed") << true << false << false << "max=10 min=00 usable=0";
        QTest::newRow("not allowed, full screen") << true << false << true << "max=00 min=10 usable=0";
    }
    void fullscreenButtonsLook()
    {
        QFETCH(bool, feature);
        QFETCH(bool, allowed);
        QFETCH(bool, inFullscreen);
        QFETCH(QString, expected);
        Fixture f;
        f.control.setFullscreenFeature(feature);
        f.startStreaming();
        f.control.onFullscreenState(true, {allowed, inFullscreen});
        const StreamButtonsLook l = f.control.look();
        QCOMPARE(QString("max=%1%2 min=%3%4 usable=%5")
                     .arg(int(l.maximizeVisible))
                     .arg(int(l.maximizeEnabled))
                     .arg(int(l.minimizeVisible))
                     .arg(int(l.minimizeEnabled))
                     .arg(int(l.fullscreenUsable)),
                 expected);
    }

    void unparsableFullscreenStateOnlyEndsTheRequest()
    {
        Fixture f;
        f.control.setFullscreenFeature(true);
        f.startStreaming();
        f.control.maximizeClicked();
        f.control.onFullscreenState(false, {});
        QVERIFY(!f.control.fullscreenRequestPending());
        QVERIFY(f.control.isInFullscreen());
        QVERIFY(f.control.look().minimizeEnabled);
    }

    void unaskedStreamStartCountsItsOwnTicks()
    {
        Fixture f;
        f.control.fluxClicked(1);
        for (int i = 0; i < 6; ++i)
            f.control.tick();
        QVERIFY(!f.control.startPending());
        f.control.onStreamStart(true, {5000, 1, "10.0.0.1"}, "");
        QVERIFY(f.control.tick());
        QVERIFY(f.control.startPending());
        QCOMPARE(f.control.pendingTicks(), 1);
    }
};

QTEST_GUILESS_MAIN(TestStreamControl)
#include "tst_streamcontrol.moc"
