// SPDX-License-Identifier: GPL-2.0-or-later
// The real program on an X server with two room emulators: the code typed
// with xdotool, the room status it shows (read from its status log lines),
// a second start, and screenshots of each state in the test's artefacts.
#include "../support/roomemulatorprocess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool run(const QString &program, const QStringList &args, QByteArray *out = nullptr, int timeoutMs = 10000)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs))
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestJoinRoom : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_artefacts;
    RoomEmulatorProcess m_room;     // ABCDE and a full room, up to date
    RoomEmulatorProcess m_updating; // offers an update for UPD01
    QProcess m_client;
    QByteArray m_log;
    int m_logRead = 0;
    QString m_windowId;

    // Waits for a status line containing every part; returns it.
    QString waitForStatus(const QStringList &parts, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            m_client.waitForReadyRead(50);
            m_log += m_client.readAllStandardError();
            int end;
            while ((end = m_log.indexOf('\n', m_logRead)) >= 0) {
                const QString line = QString::fromUtf8(m_log.mid(m_logRead, end - m_logRead));
                m_logRead = end + 1;
                if (!line.contains("velmorant.codewindow: status "))
                    continue;
                bool all = true;
                for (const QString &part : parts)
                    all = all && line.contains(part);
                if (all)
                    return line;
            }
        }
        return {};
    }

    void xdotool(const QStringList &args) { QVERIFY2(run("xdotool", args), qPrintable(args.join(' '))); }
    void type(const QString &text) { xdotool({"type", "--delay", "60", text}); }
    void key(const QString &name, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            xdotool({"key", name});
    }
    void screenshot(const QString &name) { run("import", {"-window", "root", m_artefacts + "/" + name + ".png"}); }

private slots:
    void initTestCase()
    {
        m_artefacts = qEnvironmentVariable("VELMORANT_BUILD_DIR") + "/test-artefacts/e2e-joinroom";
        QDir().mkpath(m_artefacts);
        QVERIFY(m_room.start({"--no-discovery", "--room", "ABCDE:Salle Verte:3:10:2:emu-1", "--room",
                              "FULL1:Salle Pleine:10:10:2:emu-2"}));
        QVERIFY(m_updating.start({"--no-discovery", "--room", "UPD01:Salle Bleue:1:8:2:emu-3", "--update-answer",
                                  "1"}));
        QFile network(m_dir.filePath("network.json"));
        QVERIFY(network.open(QIODevice::WriteOnly));
        network.write(QString("{\"servers\": [\"127.0.0.1:%1\", \"127.0.0.1:%2\"]}")
                          .arg(m_room.tcpPort())
                          .arg(m_updating.tcpPort())
                          .toUtf8());
        network.close();

        m_client.setWorkingDirectory(m_dir.path());
        m_client.start(qEnvironmentVariable("VELMORANT_CLIENT"), QStringList());
        QVERIFY(m_client.waitForStarted(5000));
        QByteArray ids;
        QVERIFY(run("xdotool",
                    {"search", "--sync", "--onlyvisible", "--pid", QString::number(m_client.processId())}, &ids,
                    15000));
        m_windowId = QString::fromLatin1(ids).split('\n', Qt::SkipEmptyParts).value(0);
        QVERIFY(!m_windowId.isEmpty());
        xdotool({"windowfocus", "--sync", m_windowId});
        QTest::qWait(1800); // splash
        screenshot("1-start");
    }

    void cleanupTestCase()
    {
        m_client.terminate();
        if (!m_client.waitForFinished(5000))
            m_client.kill();
    }

    void typedCodeShowsRoomAndUsers()
    {
        type("abcde");
        QVERIFY(!waitForStatus({"state=1"}, 3000).isEmpty());
        screenshot("2-searching");
        QVERIFY(!waitForStatus({"state=2", "room=\"Salle Verte\"", "users=\"3 / 10 users.\"", "connect=1"}, 10000)
                     .isEmpty());
        QTest::qWait(300);
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
        QTRY_VERIFY_WITH_TIMEOUT((m_log += m_client.readAllStandardError()).contains("focus requested"), 3000);
    }

    void fullRoomRefusesReturn()
    {
        key("BackSpace", 5);
        type("full1");
        QVERIFY(!waitForStatus({"state=2", "room=\"Salle Pleine\"", "users=\"Meeting is full.", "connect=0"}, 10000)
                     .isEmpty());
        screenshot("4-full");
        key("Return");
        QVERIFY(waitForStatus({"Enter Code"}, 1500).isEmpty());
        QByteArray visible;
        QVERIFY(run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(m_client.processId())},
                    &visible));
        QVERIFY(visible.contains(m_windowId.toLatin1()));
    }

    void unknownCodeShowsNoServerFound()
    {
        key("BackSpace", 5);
        QElapsedTimer clock;
        type("zzzzz");
        clock.start();
        QVERIFY(!waitForStatus({"state=3", "users=\"no server found\""}, 6000).isEmpty());
        QVERIFY2(clock.elapsed() > 2500, qPrintable(QString::number(clock.elapsed())));
        screenshot("5-no-server");
    }

    void updateAvailableShowsButtons()
    {
        key("BackSpace", 5);
        type("upd01");
        QVERIFY(!waitForStatus({"state=2", "room=\"Salle Bleue\"", "users=\"1 / 8 users.\""}, 10000).isEmpty());
        QVERIFY(!m_updating.waitForEvent("update.check", 5000).isEmpty());
        QTest::qWait(1200); // the answer is shown at the next refresh
        screenshot("6-update-available");
    }
};

QTEST_GUILESS_MAIN(TestJoinRoom)
#include "tst_e2e_joinroom.moc"
