// SPDX-License-Identifier: GPL-2.0-or-later
// The code window's rules with a scripted finder, a scripted update check and
// a hand-moved clock: what the status shows for each code and list, when a
// search gives up, the update views for each answer, and the update thread's
// shutdown.
#include "codestatemachine.h"
#include "updatechecker.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>

using Kiv::Network::ServerInfo;
using Velmorant::UpdateChecker;

namespace {

class ScriptedFinder : public CodeStateMachine::Finder {
public:
    void setCode(const QString &pCode) override { codes << pCode; }
    void overrideCode(const QString &pCode) override { overrides << pCode; }
    QList<ServerInfo> servers() const override { return list; }

    QList<ServerInfo> list;
    QStringList codes;
    QStringList overrides;
};

// check() runs on the machine's thread; it answers once released.
class ScriptedUpdater : public CodeStateMachine::Updater {
public:
    void check(const ServerInfo &pServer) override
    {
        checkedAddress = pServer.address;
        ++checks;
        if (holdChecks)
            release.acquire();
        m_status = answer.load();
    }
    int status() const override { return m_status.load(); }

    std::atomic<int> answer{UpdateChecker::UpToDate};
    std::atomic<bool> holdChecks{false};
    std::atomic<int> checks{0};
    QSemaphore release;
    QString checkedAddress; // read after the check ended

private:
    std::atomic<int> m_status{UpdateChecker::UpToDate};
};

ServerInfo roomAt(const QString &address, int users, int maxUsers)
{
    ServerInfo server;
    server.name = QStringLiteral("Salle Verte");
    server.address = address;
    server.port = 4000;
    server.type = 2;
    server.id = QStringLiteral("emu-1");
    server.usersCount = users;
    server.maxUsersCount = maxUsers;
    return server;
}

} // namespace

Q_DECLARE_METATYPE(Kiv::Network::ServerInfo)

class TestCodeStateMachine : public QObject {
    Q_OBJECT
    ScriptedFinder *m_finder = nullptr;
    ScriptedUpdater *m_updater = nullptr;
    std::unique_ptr<CodeStateMachine> m_machine;
    qint64 m_now = 0;

    void waitForCheck()
    {
        QSignalSpy ended(m_machine.get(), &CodeStateMachine::updateCheckEnded);
        QVERIFY(m_machine->updateCheckRunning());
        QVERIFY(ended.wait(5000));
        QVERIFY(!m_machine->updateCheckRunning());
    }

private slots:
    void init()
    {
        auto finder = std::make_unique<ScriptedFinder>();
        auto updater = std::make_unique<ScriptedUpdater>();
        m_finder = finder.get();
        m_updater = updater.get();
        m_machine = std::make_unique<CodeStateMachine>(std::move(finder), std::move(updater));
        m_now = 100000;
        m_machine->setClock([this] { return m_now; });
    }
    void cleanup() { m_machine.reset(); }

    // What the status area shows for a code and a list, reached through the
    // same calls the window makes.
    void statusForCodeAndList_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QList<ServerInfo>>("servers");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("room");
        QTest::addColumn<QString>("users");
        QTest::addColumn<bool>("loader");
        QTest::addColumn<bool>("connect");
        const QList<ServerInfo> none;
        QTest::newRow("incomplete") << "ABCD_" << none << 0 << "Connexion"
                                    << "Enter Code" << false << false;
        QTest::newRow("incomplete, room known")
            << "ABCD_" << QList<ServerInfo>{roomAt("127.0.0.1", 3, 10)} << 0 << "Connexion"
            << "Enter Code" << false << false;
        QTest::newRow("searching") << "ABCDE" << none << 1 << "Connexion"
                                   << "Enter Code" << true << false;
        QTest::newRow("found") << "ABCDE" << QList<ServerInfo>{roomAt("127.0.0.1", 3, 10), roomAt("127.0.0.2", 0, 4)}
                               << 2 << "Salle Verte"
                               << "3 / 10 users." << false << true;
        QTest::newRow("full") << "ABCDE" << QList<ServerInfo>{roomAt("127.0.0.1", 10, 10)} << 2 << "Salle Verte"
                              << "Meeting is full.\n10 / 10 users." << false << false;
        // No limit: the count line is hidden and keeps its last text.
        QTest::newRow("no limit") << "ABCDE" << QList<ServerInfo>{roomAt("127.0.0.1", 5, 0)} << 2 << "Salle Verte"
                                  << "" << false << true;
    }
    void statusForCodeAndList()
    {
        QFETCH(QString, code);
        QFETCH(QList<ServerInfo>, servers);
        QFETCH(int, state);
        QFETCH(QString, room);
        QFETCH(QString, users);
        QFETCH(bool, loader);
        QFETCH(bool, connect);

        QSignalSpy changed(m_machine.get(), &CodeStateMachine::changed);
        m_machine->setCode(code);
        QCOMPARE(m_finder->codes, QStringList{code});
        m_finder->list = servers;
        m_machine->poll();
        QVERIFY(!changed.isEmpty());
        const CodeStateMachine::Status &status = m_machine->status();
        QCOMPARE(int(status.state), state);
        QCOMPARE(int(m_machine->state()), state);
        QCOMPARE(status.room, room);
        QCOMPARE(status.usersVisible, !users.isEmpty());
        QCOMPARE(status.users, users.isEmpty() ? QString("Enter Code") : users);
        QCOMPARE(status.loader, loader);
        QCOMPARE(status.connect, connect);
        QVERIFY(!status.updateButton);
        if (state == CodeStateMachine::Found) {
            // One check per code, towards the first server, however often the list is polled.
            m_machine->poll();
            m_machine->serversChanged();
            waitForCheck();
            m_machine->poll();
            QVERIFY(!m_machine->updateCheckRunning());
            QCOMPARE(m_updater->checks.load(), 1);
            QCOMPARE(m_updater->checkedAddress, QString("127.0.0.1"));
        } else if (servers.isEmpty()) {
            QVERIFY(!m_machine->updateCheckRunning());
        } else {
            // A known room is checked even before the code is complete.
            waitForCheck();
        }
    }

    // A complete code with no server shows "no server found" after three
    // seconds of the clock, counted from the last complete code.
    void searchGivesUpAfterItsTime_data()
    {
        QTest::addColumn<QList<int>>("steps"); // clock moves; -1 retypes the code, -2 adds a server
        QTest::addColumn<int>("state");
        QTest::newRow("2999 ms: still searching") << QList<int>{2999} << 1;
        QTest::newRow("3000 ms: none found") << QList<int>{3000} << 3;
        QTest::newRow("in small steps") << QList<int>{500, 500, 500, 500, 500, 499, 1} << 3;
        QTest::newRow("retyped at 2 s restarts the time") << QList<int>{2000, -1, 2999} << 1;
        QTest::newRow("retyped, then its own time") << QList<int>{2000, -1, 3000} << 3;
        QTest::newRow("found in time") << QList<int>{1000, -2, 5000} << 2;
    }
    void searchGivesUpAfterItsTime()
    {
        QFETCH(QList<int>, steps);
        QFETCH(int, state);
        m_machine->setCode("ZZZZZ");
        QCOMPARE(int(m_machine->state()), int(CodeStateMachine::Searching));
        for (int step : steps) {
            if (step == -1) {
                m_machine->setCode("ZZZZ_");
                m_machine->setCode("ZZZZY");
            } else if (step == -2) {
                m_finder->list = {roomAt("127.0.0.1", 1, 8)};
                m_machine->serversChanged();
            } else {
                m_now += step;
            }
            m_machine->poll();
        }
        QCOMPARE(int(m_machine->state()), state);
        if (state == CodeStateMachine::NoneFound) {
            QCOMPARE(m_machine->status().users, QString("no server found"));
            QVERIFY(m_machine->status().usersVisible);
            QVERIFY(!m_machine->status().loader);
        }
    }

    // A list that empties during a complete code means none found; with an
    // incomplete code it means idle.
    void emptiedListEndsTheSearch()
    {
        m_finder->list = {roomAt("127.0.0.1", 1, 8)};
        m_machine->setCode("ABCDE");
        m_machine->serversChanged();
        QCOMPARE(int(m_machine->state()), int(CodeStateMachine::Found));
        waitForCheck();
        m_finder->list.clear();
        m_machine->serversChanged();
        QCOMPARE(int(m_machine->state()), int(CodeStateMachine::NoneFound));
        m_machine->setCode("ABCD_");
        m_machine->serversChanged();
        QCOMPARE(int(m_machine->state()), int(CodeStateMachine::Idle));
        QCOMPARE(m_machine->status().users, QString("Enter Code"));
    }

    // Joining a room empties the finder's code and the machine's.
    void joiningGoesBackToIdle()
    {
        m_finder->list = {roomAt("127.0.0.1", 1, 8)};
        m_machine->setCode("ABCDE");
        m_machine->poll();
        waitForCheck();
        m_machine->joined();
        QCOMPARE(m_finder->overrides, QStringList{"_____"});
        QCOMPARE(int(m_machine->state()), int(CodeStateMachine::Idle));
        m_machine->poll(); // the finder's list may still hold the room
        QCOMPARE(int(m_machine->state()), int(CodeStateMachine::Idle));
        QVERIFY(!m_machine->status().connect);
        // The same code again checks again.
        m_machine->setCode("ABCDE");
        m_machine->poll();
        waitForCheck();
        QCOMPARE(m_updater->checks.load(), 2);
    }

    // Each answer of the check: what shows (the update button, the views
    // with their flavour, and which signals came), and whether cancelling
    // then empties the code.
    void updateAnswers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("shows");
        QTest::addColumn<bool>("cancelClears");
        QTest::newRow("up to date") << int(UpdateChecker::UpToDate) << "" << false;
        QTest::newRow("available") << int(UpdateChecker::UpdateAvailable) << "button" << false;
        QTest::newRow("required") << int(UpdateChecker::UpdateRequired) << "apply required offered" << true;
        QTest::newRow("too recent") << int(UpdateChecker::ClientTooRecent) << "error tooRecent refused" << true;
        QTest::newRow("no update") << int(UpdateChecker::NoUpdateOnServer) << "error refused" << true;
    }
    void updateAnswers()
    {
        QFETCH(int, answer);
        QFETCH(QString, shows);
        QFETCH(bool, cancelClears);
        QSignalSpy offered(m_machine.get(), &CodeStateMachine::updateOffered);
        QSignalSpy refused(m_machine.get(), &CodeStateMachine::updateRefused);
        QSignalSpy cleared(m_machine.get(), &CodeStateMachine::codeCleared);
        m_updater->answer = answer;
        m_finder->list = {roomAt("127.0.0.1", 3, 10)};
        m_machine->setCode("ABCDE");
        m_machine->poll();
        waitForCheck();

        const CodeStateMachine::UpdateViews &views = m_machine->updateViews();
        QStringList seen;
        const std::pair<bool, const char *> flags[] = {{m_machine->status().updateButton, "button"},
                                                       {views.apply, "apply"},
                                                       {views.required, "required"},
                                                       {!offered.isEmpty(), "offered"},
                                                       {views.error, "error"},
                                                       {views.tooRecent, "tooRecent"},
                                                       {!refused.isEmpty(), "refused"}};
        for (const auto &flag : flags)
            if (flag.first)
                seen << flag.second;
        QCOMPARE(seen.join(' '), shows);
        QVERIFY(offered.count() <= 1 && refused.count() <= 1);
        QVERIFY(!views.download);
        QCOMPARE(int(m_machine->state()), int(CodeStateMachine::Found));

        // The window's update button opens the offer for an optional update.
        if (m_machine->status().updateButton) {
            m_machine->offerUpdate();
            QVERIFY(views.apply);
            QVERIFY(!views.required);
        }
        m_machine->cancelUpdate();
        QVERIFY(!views.apply);
        QVERIFY(!views.error);
        QCOMPARE(cleared.count(), cancelClears ? 1 : 0);
        QCOMPARE(int(m_machine->state()), int(cancelClears ? CodeStateMachine::Idle : CodeStateMachine::Found));
        // The finder keeps its code: cancelling does not stop the search.
        QVERIFY(m_finder->overrides.isEmpty());
    }

    void acceptedUpdateDownloads()
    {
        QSignalSpy requested(m_machine.get(), &CodeStateMachine::downloadRequested);
        QSignalSpy ready(m_machine.get(), &CodeStateMachine::installerReady);
        m_machine->offerUpdate();
        m_machine->acceptUpdate();
        QVERIFY(m_machine->updateViews().download);
        QCOMPARE(requested.count(), 1);

        // A failed download closes its view, shows the error view, and may
        // be tried again.
        m_machine->downloadEnded(QString());
        QVERIFY(!m_machine->updateViews().download);
        QVERIFY(m_machine->updateViews().error);
        QVERIFY(!m_machine->updateViews().tooRecent);
        QVERIFY(ready.isEmpty());
        m_machine->acceptUpdate();
        QCOMPARE(requested.count(), 2);
        m_machine->downloadEnded("/tmp/VelmorantClient/setup");
        QCOMPARE(ready.count(), 1);
        QCOMPARE(ready.first().first().toString(), QString("/tmp/VelmorantClient/setup"));
    }

    // Stopping while a check is under way: wait() returns once it ends and
    // its answer is not acted on.
    void stopDuringCheck()
    {
        m_updater->holdChecks = true;
        m_updater->answer = int(UpdateChecker::UpdateRequired);
        m_finder->list = {roomAt("127.0.0.1", 3, 10)};
        m_machine->setCode("ABCDE");
        m_machine->poll();
        QVERIFY(m_machine->updateCheckRunning());
        QTRY_COMPARE(m_updater->checks.load(), 1);

        m_machine->requestStop();
        m_updater->release.release();
        m_machine->waitForStop();
        QCoreApplication::processEvents();
        QVERIFY(!m_machine->updateViews().apply);
        m_machine->poll(); // no new check once stopping
        QCOMPARE(m_updater->checks.load(), 1);
    }

    // Destroying the machine mid-check waits for the thread.
    void destructionWaitsForTheCheck()
    {
        m_updater->holdChecks = true;
        m_finder->list = {roomAt("127.0.0.1", 3, 10)};
        m_machine->setCode("ABCDE");
        m_machine->poll();
        QTRY_COMPARE(m_updater->checks.load(), 1);
        m_updater->release.release();
        m_machine.reset();
    }
};

QTEST_GUILESS_MAIN(TestCodeStateMachine)
#include "tst_codestatemachine.moc"
