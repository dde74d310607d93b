// SPDX-License-Identifier: GPL-2.0-or-later
// The real program on an X server with two room emulators: the code typed
// with xdotool, the room status it shows (read from its status log lines),
// a second start, the update buttons, and screenshots of each state in the
// test's artefacts. Each case clears the code box first, so the cases hold
// in any order.
#include "../support/clientprocess.h"
#include "../support/roomemulatorprocess.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using E2e::ClientProcess;

class TestJoinRoom : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_artefacts;
    RoomEmulatorProcess m_room;     // ABCDE and a full room, up to date
    RoomEmulatorProcess m_updating; // offers an update for UPD01
    ClientProcess m_client;
    QString m_windowId;

    QString waitForStatus(const QStringList &parts, int timeoutMs)
    {
        return m_client.waitForLog(QStringList{"velmorant.codewindow: status "} + parts, timeoutMs);
    }

    void key(const QString &name, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            QVERIFY(E2e::xdotool({"key", name}));
    }
    // A fresh code: whatever the box held goes first.
    void enterCode(const QString &code)
    {
        key("BackSpace", 5);
        QVERIFY(E2e::xdotool({"type", "--delay", "60", code}));
    }
    QString screenshot(const QString &name)
    {
        const QString path = m_artefacts + "/" + name + ".png";
        E2e::screenshot(path);
        return path;
    }

private slots:
    void initTestCase()
    {
        m_artefacts = qEnvironmentVariable("VELMORANT_BUILD_DIR") + "/test-artefacts/e2e-joinroom";
        QDir().mkpath(m_artefacts);
        QVERIFY(m_room.start({"--no-discovery", "--room", "ABCDE:Salle Verte:3:10:2:emu-1", "--room",
                              "FULL1:Salle Pleine:10:10:2:emu-2"}));
        QVERIFY(
            m_updating.start({"--no-discovery", "--room", "UPD01:Salle Bleue:1:8:2:emu-3", "--update-answer", "1"}));
        QFile network(m_dir.filePath("network.json"));
        QVERIFY(network.open(QIODevice::WriteOnly));
        network.write(QString("{\"servers\": [\"127.0.0.1:%1\", \"127.0.0.1:%2\"]}")
                          .arg(m_room.tcpPort())
                          .arg(m_updating.tcpPort())
                          .toUtf8());
        network.close();

        QVERIFY(m_client.start(m_dir.path()));
        m_windowId = m_client.windowOfSize({500, 252}, 15000);
        QVERIFY(!m_windowId.isEmpty());
        QVERIFY(E2e::xdotool({"windowfocus", "--sync", m_windowId}));
        // The code box takes keys once the splash has faded.
        QVERIFY(!m_client.waitForLog({"splash screen gone"}, 15000).isEmpty());
        screenshot("1-start");
    }

    void typedCodeShowsRoomAndUsers()
    {
        enterCode("abcde");
        QVERIFY(!waitForStatus({"state=1"}, 3000).isEmpty());
        screenshot("2-searching");
        QVERIFY(!waitForStatus({"state=2", "room=\"Salle Verte\"", "users=\"3 / 10 users.\"", "connect=1"}, 10000)
                     .isEmpty());
        screenshot("3-found");
    }

    void secondStartBringsWindowToFront()
    {
        QProcess second;
        QElapsedTimer clock;
        clock.start();
        second.start(qEnvironmentVariable("VELMORANT_CLIENT"), QStringList());
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY2(clock.elapsed() < 1600, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!m_client.waitForLog({"focus requested"}, 3000).isEmpty());
    }

    void fullRoomRefusesReturn()
    {
        enterCode("full1");
        QVERIFY(!waitForStatus({"state=2", "room=\"Salle Pleine\"", "users=\"Meeting is full.", "connect=0"}, 10000)
                     .isEmpty());
        screenshot("4-full");
        key("Return");
        QVERIFY(waitForStatus({"Enter Code"}, 1500).isEmpty());
        QVERIFY(!m_client.windowOfSize({500, 252}, 1000).isEmpty());
    }

    void unknownCodeShowsNoServerFound()
    {
        QElapsedTimer clock;
        enterCode("zzzzz");
        clock.start();
        QVERIFY(!waitForStatus({"state=3", "users=\"no server found\""}, 6000).isEmpty());
        QVERIFY2(clock.elapsed() > 2500, qPrintable(QString::number(clock.elapsed())));
        screenshot("5-no-server");
    }

    void updateAvailableShowsButtons()
    {
        enterCode("upd01");
        QVERIFY(!waitForStatus({"state=2", "room=\"Salle Bleue\"", "users=\"1 / 8 users.\""}, 10000).isEmpty());
        QVERIFY(!m_updating.waitForEvent("update.check", 5000).isEmpty());
        // The update button's orange text, where the description puts it in
        // the code window (182, 202, 136 x 32), once the answer is shown.
        QByteArray geometry;
        QVERIFY(E2e::run("xdotool", {"getwindowgeometry", "--shell", m_windowId}, &geometry));
        int x = 0, y = 0;
        for (const QByteArray &line : geometry.split('\n')) {
            if (line.startsWith("X="))
                x = line.mid(2).toInt();
            if (line.startsWith("Y="))
                y = line.mid(2).toInt();
        }
        auto orangePixels = [&] {
            const QImage shot(screenshot("6-update-available"));
            int orange = 0;
            for (int py = y + 202; py < y + 234; ++py) {
                for (int px = x + 182; px < x + 318; ++px) {
                    const QColor c = shot.pixelColor(px, py);
                    orange += c.red() > 200 && c.green() > 40 && c.green() < 140 && c.blue() < 60;
                }
            }
            return orange;
        };
        QTRY_VERIFY_WITH_TIMEOUT(orangePixels() > 20, 5000);
    }
};

QTEST_GUILESS_MAIN(TestJoinRoom)
#include "tst_e2e_joinroom.moc"
