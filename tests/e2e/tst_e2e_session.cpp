// SPDX-License-Identifier: GPL-2.0-or-later
// The real program, the real streaming library and the room emulator on an X
// server, driven by keystrokes and clicks: join by code, the identity, the
// room's title, a live stream of painted blocks decoded by the emulator,
// pause and resume, full screen, remote control on and off, stop, disconnect
// and a second join, and the room vanishing mid-stream. Screenshots of each
// state land in the test's artefacts, in the language of VELMORANT_E2E_LANGUAGE.
#include "../support/clientprocess.h"
#include "../support/roomemulatorprocess.h"

#include "app/settingsstore.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QJsonArray>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

namespace {

// Grey blocks at the top left of the screen, away from the client's windows.
const int Greys[4] = {30, 110, 170, 230};
const QRect BlocksAt(0, 900, 4 * 96, 96);

class BlocksWindow : public QWidget {
public:
    BlocksWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
        setGeometry(BlocksAt);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        for (int i = 0; i < 4; ++i)
            painter.fillRect(i * 96, 0, 96, 96, QColor(Greys[i], Greys[i], Greys[i]));
    }
};

// Session window buttons, at their place in the window description.
const QPoint Flux(72, 120);
const QPoint Pause(164, 120);
const QPoint FullscreenButton(220, 120);
const QPoint Upload(72, 220);
const QPoint UploadFiles(49, 296);
const QPoint RoomCapture(200, 220);
const QPoint Config(50, 352);
const QPoint Disconnect(222, 352);
// Settings window (session variant).
const QPoint RemoteSwitch(72, 540);
const QPoint SettingsClose(444, 52);

} // namespace

class TestSession : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_artefacts;
    QString m_language;
    std::unique_ptr<RoomEmulatorProcess> m_room;
    E2e::ClientProcess m_client;
    BlocksWindow m_blocks;

    QString waitForLog(const QStringList &parts, int timeoutMs) { return m_client.waitForLog(parts, timeoutMs); }
    QString windowOfSize(const QSize &size, int timeoutMs = 5000) { return m_client.windowOfSize(size, timeoutMs); }
    void xdotool(const QStringList &args) { QVERIFY2(E2e::xdotool(args), qPrintable(args.join(' '))); }
    void click(const QString &window, const QPoint &at) { QVERIFY(E2e::ClientProcess::click(window, at)); }
    // By default once the windows have repainted; a passing state at once.
    void screenshot(const QString &name, bool whenStill = true)
    {
        E2e::screenshot(m_artefacts + "/" + name + ".png", whenStill);
    }

    QJsonObject waitForRecv(const QString &name, int timeoutMs = 5000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            const QJsonObject e = m_room->waitForEvent("session.recv", int(timeoutMs - clock.elapsed()));
            if (e.isEmpty() || e.value("name").toString() == name)
                return e;
        }
        return {};
    }

    // The next decoded frame, and whether its blocks show the painted greys.
    QJsonObject waitForDecodedFrame(int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            const QJsonObject frame = m_room->waitForEvent("stream.frame", int(timeoutMs - clock.elapsed()));
            if (frame.isEmpty() || frame.value("decoded").toVariant().toBool())
                return frame;
        }
        return {};
    }

    void checkBlocks(const QJsonObject &frame)
    {
        const QJsonArray luma = frame.value("luma").toArray();
        QCOMPARE(luma.size(), 4);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(qAbs(luma[i].toInt() - Greys[i]) <= 8,
                     qPrintable(QString("block %1: luma %2, painted %3").arg(i).arg(luma[i].toInt()).arg(Greys[i])));
    }

    QPoint pointer()
    {
        QByteArray out;
        E2e::run("xdotool", {"getmouselocation", "--shell"}, &out);
        int x = -1, y = -1;
        for (const QByteArray &line : out.split('\n')) {
            if (line.startsWith("X="))
                x = line.mid(2).toInt();
            if (line.startsWith("Y="))
                y = line.mid(2).toInt();
        }
        return QPoint(x, y);
    }

    void startRoom()
    {
        m_room = std::make_unique<RoomEmulatorProcess>();
        QImage capture(320, 180, QImage::Format_RGB32);
        capture.fill(QColor(40, 90, 160));
        QVERIFY(capture.save(m_dir.filePath("room-display.png")));
        QStringList args{"--no-discovery",
                         "--room",
                         "VLM42:Salle 12:3:10:2:room-12",
                         "--device-name",
                         "Salle de test",
                         "--allow-fullscreen",
                         "yes",
                         "--capture-image",
                         m_dir.filePath("room-display.png")};
        for (int i = 0; i < 4; ++i) // the middle of each block
            args << "--luma-block" << QString("%1,%2,32,32").arg(BlocksAt.x() + i * 96 + 32).arg(BlocksAt.y() + 32);
        QVERIFY(m_room->start(args));
        QFile network(m_dir.filePath("network.json"));
        QVERIFY(network.open(QIODevice::WriteOnly | QIODevice::Truncate));
        network.write(QString("{\"servers\": [\"127.0.0.1:%1\"]}").arg(m_room->tcpPort()).toUtf8());
    }

    // Types the code into the code window and joins; returns the session window.
    QString join()
    {
        const QString codeWindow = windowOfSize({500, 252});
        if (codeWindow.isEmpty())
            return {};
        E2e::xdotool({"windowfocus", "--sync", codeWindow});
        E2e::xdotool({"type", "--delay", "60", "vlm42"});
        if (waitForLog({"state=2", "room=\"Salle 12\"", "connect=1"}, 10000).isEmpty())
            return {};
        E2e::xdotool({"key", "Return"});
        return windowOfSize({272, 384});
    }

private slots:
    void initTestCase()
    {
        m_language = qEnvironmentVariable("VELMORANT_E2E_LANGUAGE", "English");
        m_artefacts = qEnvironmentVariable("VELMORANT_BUILD_DIR") + "/test-artefacts/e2e-session-" +
                      (m_language.toLower().contains("fr") ? "fr" : "en");
        QDir().mkpath(m_artefacts);

        Velmorant::ClientSettings settings;
        settings.userName = QString(); // the identity takes the system's name
        settings.configRemoteControl = true;
        settings.language = m_language;
        QVERIFY(Velmorant::SettingsStore().write(settings));

        m_blocks.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_blocks));
        startRoom();

        QVERIFY(m_client.start(m_dir.path()));
        QVERIFY(!windowOfSize({500, 252}, 15000).isEmpty());
        // The code box takes keys once the splash has faded.
        QVERIFY(!waitForLog({"splash screen gone"}, 15000).isEmpty());
    }

    void joinSendsGreetingThenIdentity()
    {
        const QString session = join();
        QVERIFY(!session.isEmpty());
        QVERIFY(!m_room->waitForEvent("session.open", 5000).isEmpty());
        const QJsonObject identity = waitForRecv("Identity").value("body").toObject();
        QCOMPARE(identity.value("computerName").toString(), QHostInfo::localHostName());
        QCOMPARE(identity.value("userName").toString(), Velmorant::derivedUserName());
        QVERIFY(!waitForLog({"room settings title=\"Salle de test\" capture=1 fullscreen=1"}, 5000).isEmpty());
        screenshot("1-session-idle");
    }

    void streamShowsThePaintedScreen()
    {
        const QString session = windowOfSize({272, 384});
        click(session, Flux);
        QVERIFY(!waitForLog({"stream look flux=starting"}, 3000).isEmpty());
        screenshot("2-session-starting", false); // the next tick may already see the stream
        const QJsonObject size = waitForRecv("ScreenSize");
        QCOMPARE(size.value("body").toObject(),
                 QJsonObject({{"screenPhysicalWidth", 1920}, {"screenPhysicalHeight", 1080}}));
        QVERIFY(!waitForRecv("StreamRequest").isEmpty());

        QJsonObject frame = waitForDecodedFrame();
        QVERIFY(!frame.isEmpty());
        QCOMPARE(frame.value("width").toInt(), 1920);
        // A later frame: the first may come before the encoder settles.
        for (int i = 0; i < 5; ++i)
            frame = waitForDecodedFrame();
        checkBlocks(frame);
        QVERIFY(!waitForLog({"stream look flux=started", "pause=1", "maximize=1"}, 3000).isEmpty());
        screenshot("3-session-streaming");
    }

    void pauseStopsFramesAndResumeBringsThemBack()
    {
        const QString session = windowOfSize({272, 384});
        click(session, Pause);
        QVERIFY(!m_room->waitForEvent("stream.pause", 5000).isEmpty());
        QVERIFY(!waitForLog({"paused=1"}, 3000).isEmpty());
        screenshot("4-session-paused");
        // Frames already under way may still land; then nothing for a second.
        QTest::qWait(500);
        m_room->events();
        const int before = m_room->events().size();
        QTest::qWait(1000);
        int framesWhilePaused = 0;
        for (int i = before; i < m_room->events().size(); ++i)
            framesWhilePaused += m_room->events()[i].value("event").toString() == "stream.frame";
        QCOMPARE(framesWhilePaused, 0);

        click(session, Pause);
        QVERIFY(!waitForLog({"paused=0"}, 3000).isEmpty());
        QVERIFY(!waitForDecodedFrame(5000).isEmpty());
    }

    void fullscreenFollowsTheRoom()
    {
        const QString session = windowOfSize({272, 384});
        click(session, FullscreenButton);
        QVERIFY(!waitForRecv("FullscreenOn").isEmpty());
        QVERIFY(!m_room->waitForEvent("session.send", 3000).isEmpty());
        QVERIFY(!waitForLog({"flux=started", "maximize=0", "minimize=1 "}, 3000).isEmpty());
        screenshot("5-session-fullscreen");
        click(session, FullscreenButton); // the minimize button lies on the same spot
        QVERIFY(!waitForRecv("FullscreenOff").isEmpty());
        QVERIFY(!waitForLog({"flux=started", "maximize=1 ", "minimize=0"}, 3000).isEmpty());
    }

    void remoteControlMovesThePointerOnlyWhenAllowed()
    {
        xdotool({"mousemove", "5", "1000"});
        // A press and release at a quarter of the streamed screen.
        m_room->command(R"({"cmd":"input","kind":"mouse","pointer":1,"x":0.25,"y":0.5,"action":2,"button":0})");
        m_room->command(R"({"cmd":"input","kind":"mouse","pointer":1,"x":0.25,"y":0.5,"action":1,"button":0})");
        QTRY_COMPARE_WITH_TIMEOUT(pointer(), QPoint(480, 540), 5000);

        // Switch it off in the settings window, as a user would.
        const QString session = windowOfSize({272, 384});
        click(session, Config);
        const QString settings = windowOfSize({496, 736});
        QVERIFY(!settings.isEmpty());
        click(settings, RemoteSwitch);
        screenshot("6-settings-remote-off");
        click(settings, SettingsClose);
        QCOMPARE(waitForRecv("RemoteControlMessage").value("body").toObject(), QJsonObject({{"remoteControl", false}}));

        xdotool({"mousemove", "5", "1000"});
        QTest::qWait(1100); // past the take-over time of the last press
        m_room->command(R"({"cmd":"input","kind":"mouse","pointer":2,"x":0.75,"y":0.25,"action":2,"button":0})");
        m_room->command(R"({"cmd":"input","kind":"mouse","pointer":2,"x":0.75,"y":0.25,"action":1,"button":0})");
        QVERIFY(!m_room->waitForEvent("cmd.ok", 3000).isEmpty());
        QVERIFY(!m_room->waitForEvent("cmd.ok", 3000).isEmpty());
        QTest::qWait(800); // dropped input leaves nothing to wait for: a time without a move
        QCOMPARE(pointer(), QPoint(5, 1000));
    }

    void secondClickStopsWithoutAMessage()
    {
        const QString session = windowOfSize({272, 384});
        const int before = m_room->events().size();
        click(session, Flux);
        // Both stream connections close; the session stays.
        QVERIFY(!m_room->waitForEvent("conn.closed", 5000).isEmpty());
        QVERIFY(!m_room->waitForEvent("conn.closed", 5000).isEmpty());
        QVERIFY(!waitForLog({"stream look flux=stopped"}, 3000).isEmpty());
        // A round trip through the client's ordered session connection: once
        // its answer is in, anything the client sent before it has arrived.
        m_room->command(R"({"cmd":"send","type":"RemoteControlQuery"})");
        QVERIFY(!waitForRecv("RemoteControlMessage").isEmpty());
        const QList<QJsonObject> &events = m_room->events();
        QStringList recvAfterStop;
        for (int i = before; i < events.size(); ++i) {
            if (events[i].value("event").toString() == "session.recv")
                recvAfterStop << events[i].value("name").toString();
        }
        QCOMPARE(recvAfterStop, QStringList{"RemoteControlMessage"});
    }

    void disconnectReturnsAndJoinsAgain()
    {
        const QString session = windowOfSize({272, 384});
        click(session, Disconnect);
        QVERIFY(!m_room->waitForEvent("session.closed", 5000).isEmpty());
        QVERIFY(!waitForLog({"session ended"}, 3000).isEmpty());
        QVERIFY(!windowOfSize({500, 252}).isEmpty());
        screenshot("7-back-to-code");
        // The code box is empty: typing the five characters finds the room.
        QVERIFY(!join().isEmpty());
        QVERIFY(!m_room->waitForEvent("session.open", 5000).isEmpty());
        QVERIFY(!waitForRecv("Identity").isEmpty());
    }

    void fileChosenInTheDialogArrivesWhole()
    {
        const QString session = windowOfSize({272, 384});
        QFile file(m_dir.filePath("rapport.pdf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(i * 13 + (i >> 10));
        for (int i = 0; i < 64; ++i)
            file.write(block);
        file.close();

        click(session, Upload);
        screenshot("8-send-menu");
        const QStringList before = m_client.visibleWindows();
        click(session, UploadFiles);
        // The dialog opens with its name field focused.
        QVERIFY(!m_client.newWindow(before).isEmpty());
        xdotool({"type", "--delay", "10", file.fileName()});
        xdotool({"key", "Return"});
        QCOMPARE(waitForRecv("FileRequest").value("body").toObject().value("file_name").toString(),
                 QString("rapport.pdf"));
        screenshot("9-transfer-in-progress", false);
        const QJsonObject saved = m_room->waitForEvent("file.saved", 60000);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(saved.value("sha256").toString().toLatin1(),
                 QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
        click(session, Upload); // closes the menu
    }

    void roomCaptureIsSavedWhereTheDialogSays()
    {
        const QString session = windowOfSize({272, 384});
        const QStringList before = m_client.visibleWindows();
        click(session, RoomCapture);
        QVERIFY(!m_room->waitForEvent("session.send", 5000).isEmpty());
        QVERIFY(!m_client.newWindow(before).isEmpty()); // the save dialog
        screenshot("10-save-dialog");
        const QString target = m_dir.filePath("salle-capture.png");
        // The proposed name is selected: typing replaces it.
        xdotool({"key", "ctrl+a"});
        xdotool({"type", "--delay", "10", target});
        xdotool({"key", "Return"});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(target).size() > 0, 5000);
        QFile saved(target), sent(m_dir.filePath("room-display.png"));
        QVERIFY2(saved.open(QIODevice::ReadOnly), qPrintable(saved.errorString()));
        QVERIFY2(sent.open(QIODevice::ReadOnly), qPrintable(sent.errorString()));
        QCOMPARE(saved.readAll(), sent.readAll());
    }

    void roomVanishingMidStreamBringsTheCodeWindowBack()
    {
        const QString session = windowOfSize({272, 384});
        click(session, Flux);
        QVERIFY(!waitForDecodedFrame().isEmpty());
        QElapsedTimer clock;
        clock.start();
        m_room.reset(); // kills the emulator
        QVERIFY(!waitForLog({"session ended"}, 21000).isEmpty());
        QVERIFY(!windowOfSize({500, 252}).isEmpty());
        qInfo() << "code window back after" << clock.elapsed() << "ms";
        QVERIFY(clock.elapsed() < 21000);
        QVERIFY(!waitForLog({"stream look flux=stopped"}, 4000).isEmpty());
        QCOMPARE(m_client.process().state(), QProcess::Running);
    }
};

QTEST_MAIN(TestSession)
#include "tst_e2e_session.moc"
