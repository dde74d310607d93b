// SPDX-License-Identifier: GPL-2.0-or-later
// The code window against the room emulator: room status, full rooms,
// unknown codes, connecting, and the update paths.
#include "../../support/roomemulatorprocess.h"
#include "uicodetextbox.h"
#include "uicodewindow.h"
#include "updatechecker.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The code tests reach the emulator through a plain network.json in the
// working directory; no discovery datagrams are needed.
void writeNetworkFile(const QString &dir, quint16 tcpPort)
{
    QFile file(dir + "/network.json");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QString("{ \"servers\": [\"127.0.0.1:%1\"] }").arg(tcpPort).toUtf8());
}

QString labelText(UiCodeWindow &w, const char *name)
{
    auto *label = w.findWidget<QLabel>(name);
    return label ? label->text() : QString("<no %1>").arg(name);
}

bool shown(UiCodeWindow &w, const char *name)
{
    QWidget *widget = w.findWidget(name);
    return widget && widget->isVisibleTo(&w);
}

void typeCode(UiCodeWindow &w, const QString &code)
{
    auto *box = w.findWidget<UiCodeTextbox>("TextboxCode");
    QVERIFY(box);
    QTest::keyClicks(box, code);
}

} // namespace

class TestUiCodeWindow : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_previousDir;
    std::unique_ptr<RoomEmulatorProcess> m_emulator;
    std::unique_ptr<UiCodeWindow> m_window;
    qint64 m_now = 0;

    void startRoom(const QStringList &extra)
    {
        m_emulator = std::make_unique<RoomEmulatorProcess>();
        QVERIFY(m_emulator->start(QStringList{"--no-discovery", "--room", "ABCDE:Salle Verte:3:10:2:emu-1", "--room",
                                              "FULL1:Salle Pleine:10:10:2:emu-2"} +
                                  extra));
        writeNetworkFile(m_dir.path(), m_emulator->tcpPort());
        m_window = std::make_unique<UiCodeWindow>(nullptr, 0);
        m_window->show();
    }

private slots:
    void initTestCase()
    {
        m_previousDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        // The installer is saved under the temporary folder: this run's own,
        // so that runs side by side do not overwrite each other's.
        qputenv("TMPDIR", m_dir.path().toUtf8());
    }
    void cleanup()
    {
        m_window.reset();
        m_emulator.reset();
    }
    void cleanupTestCase() { QDir::setCurrent(m_previousDir); }

    void foundRoomShowsStatusAndConnects()
    {
        startRoom({});
        QCOMPARE(labelText(*m_window, "LabelUserCount"), QString("Enter Code"));
        typeCode(*m_window, "abcd");
        QCOMPARE(m_window->state(), int(UiCodeWindow::Idle));
        typeCode(*m_window, "e");
        QCOMPARE(m_window->state(), int(UiCodeWindow::Searching));
        QVERIFY(shown(*m_window, "LoaderImage"));
        QTRY_COMPARE_WITH_TIMEOUT(labelText(*m_window, "LabelRoom"), QString("Salle Verte"), 8000);
        QCOMPARE(labelText(*m_window, "LabelUserCount"), QString("3 / 10 users."));
        QVERIFY(shown(*m_window, "ButtonConnect"));
        QVERIFY(!shown(*m_window, "LoaderImage"));

        // Deleting one character shows "Enter Code" but keeps the search.
        auto *box = m_window->findWidget<UiCodeTextbox>("TextboxCode");
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->code(), QString("ABCD_"));
        QCOMPARE(labelText(*m_window, "LabelUserCount"), QString("Enter Code"));
        QVERIFY(!m_window->serverFinder().getServers().isEmpty());
        // The cursor went back onto D; step over it and type E again.
        QTest::keyClick(box, Qt::Key_Right);
        QTest::keyClick(box, Qt::Key_E);
        QCOMPARE(box->code(), QString("ABCDE"));
        QTRY_VERIFY_WITH_TIMEOUT(shown(*m_window, "ButtonConnect"), 3000);

        // Return connects: the window steps aside, the box and finder are idle.
        QTest::keyClick(box, Qt::Key_Return);
        QVERIFY(!m_window->isVisible());
        QCOMPARE(box->code(), QString("_____"));
        QCOMPARE(m_window->state(), int(UiCodeWindow::Idle));

        // Back from the session: the same code starts a new search.
        m_window->show();
        typeCode(*m_window, "abcde");
        QCOMPARE(m_window->state(), int(UiCodeWindow::Searching));
        QTRY_VERIFY_WITH_TIMEOUT(shown(*m_window, "ButtonConnect"), 8000);
    }

    void fullRoomCannotBeJoined()
    {
        startRoom({});
        typeCode(*m_window, "full1");
        QTRY_COMPARE_WITH_TIMEOUT(labelText(*m_window, "LabelRoom"), QString("Salle Pleine"), 8000);
        QVERIFY(labelText(*m_window, "LabelUserCount").startsWith("Meeting is full."));
        QVERIFY(!shown(*m_window, "ButtonConnect"));
        QTest::keyClick(m_window->findWidget<UiCodeTextbox>("TextboxCode"), Qt::Key_Return);
        QVERIFY(m_window->isVisible());
    }

    void unknownCodeShowsNoServerFound()
    {
        startRoom({});
        m_now = 0;
        m_window->stateMachine().setClock([this] { return m_now; });
        typeCode(*m_window, "zzzzz");
        m_now = 2500;
        m_window->stateMachine().poll();
        QCOMPARE(m_window->state(), int(UiCodeWindow::Searching));
        QVERIFY(shown(*m_window, "LoaderImage"));
        m_now = 3000;
        m_window->stateMachine().poll();
        QCOMPARE(labelText(*m_window, "LabelUserCount"), QString("no server found"));
        QCOMPARE(m_window->state(), int(UiCodeWindow::NoneFound));
    }

    void updateAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("visible");
        QTest::addColumn<QStringList>("hidden");
        QTest::newRow("1 available") << "1" << 2 << QStringList{"ButtonDoUpdate", "ButtonDoUpdateText"}
                                     << QStringList{"ApplyUpdateView", "UpdateErrorView"};
        QTest::newRow("2 required") << "2" << 1 << QStringList{"ApplyUpdateView", "LabelUpdateNeeded"}
                                    << QStringList{"LabelUpdateExist", "UpdateErrorView"};
        QTest::newRow("3 too recent") << "3" << 3 << QStringList{"UpdateErrorView", "UpdateErrorClientToRecentLabel"}
                                      << QStringList{"UpdateErrorNoUpdateLabel", "ApplyUpdateView"};
        QTest::newRow("4 no update") << "4" << 4 << QStringList{"UpdateErrorView", "UpdateErrorNoUpdateLabel"}
                                     << QStringList{"UpdateErrorClientToRecentLabel", "ApplyUpdateView"};
    }
    void updateAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(int, status);
        QFETCH(QStringList, visible);
        QFETCH(QStringList, hidden);
        startRoom({"--update-answer", answer});
        typeCode(*m_window, "abcde");
        QTRY_COMPARE_WITH_TIMEOUT(m_window->updateChecker().status(), status, 8000);
        for (const QString &name : visible)
            QTRY_VERIFY2_WITH_TIMEOUT(shown(*m_window, qPrintable(name)), qPrintable(name), 3000);
        for (const QString &name : hidden)
            QVERIFY2(!shown(*m_window, qPrintable(name)), qPrintable(name));

        if (status == 1) {
            // Cancelling a required update clears the code.
            QMetaObject::invokeMethod(m_window.get(), "sltDoUpdateCancel");
            QVERIFY(!shown(*m_window, "ApplyUpdateView"));
            QCOMPARE(m_window->findWidget<UiCodeTextbox>("TextboxCode")->code(), QString("_____"));
            QCOMPARE(m_window->state(), int(UiCodeWindow::Idle));
        }
    }

    void silentUpdateServerLeavesStatus()
    {
        startRoom({"--update-answer", "none"});
        QSignalSpy checked(&m_window->stateMachine(), &CodeStateMachine::updateCheckEnded);
        typeCode(*m_window, "abcde");
        QTRY_VERIFY_WITH_TIMEOUT(shown(*m_window, "ButtonConnect"), 8000);
        // The check gives up after its one-second waits.
        QVERIFY(!checked.isEmpty() || checked.wait(8000));
        QCOMPARE(m_window->updateChecker().status(), 0);
        QVERIFY(!shown(*m_window, "ApplyUpdateView"));
        QVERIFY(!shown(*m_window, "UpdateErrorView"));
    }

    // Last: ending the program leaves the application's loops.
    void acceptedUpdateDownloadsAndEnds()
    {
        // A fake pkexec records how the installer would be started.
        const QString bin = m_dir.filePath("bin");
        QDir().mkpath(bin);
        QFile fake(bin + "/pkexec");
        QVERIFY(fake.open(QIODevice::WriteOnly));
        // Written aside and renamed: the file must not be seen before its text.
        fake.write(QString("#!/bin/sh\necho \"$@\" > '%1/pkexec-args.new'\n"
                           "mv '%1/pkexec-args.new' '%1/pkexec-args'\n")
                       .arg(m_dir.path())
                       .toUtf8());
        fake.close();
        fake.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("PATH", bin.toUtf8() + ":" + qgetenv("PATH"));

        QByteArray installer(120000, 0);
        for (int i = 0; i < installer.size(); ++i)
            installer[i] = char((i * 31) >> 3);
        QFile file(m_dir.filePath("installer.bin"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(installer);
        file.close();

        startRoom({"--update-answer", "2", "--installer", file.fileName(), "--chunk-size", "16000"});
        typeCode(*m_window, "abcde");
        QTRY_VERIFY_WITH_TIMEOUT(shown(*m_window, "ApplyUpdateView"), 8000);

        QEventLoop loop;
        QTimer::singleShot(20000, &loop, [&] { loop.exit(99); });
        QMetaObject::invokeMethod(m_window.get(), "sltDoUpdateValid", Qt::QueuedConnection);
        QCOMPARE(loop.exec(), 0); // the program ends with 0

        QFile saved(Velmorant::UpdateChecker::installerPath());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll() == installer);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_dir.filePath("pkexec-args")), 5000);
        QFile args(m_dir.filePath("pkexec-args"));
        QVERIFY(args.open(QIODevice::ReadOnly));
        QVERIFY(args.readAll().trimmed().endsWith(Velmorant::UpdateChecker::installerPath().toUtf8()));
    }
};

QTEST_MAIN(TestUiCodeWindow)
#include "tst_uicodewindow.moc"
