// SPDX-License-Identifier: GPL-2.0-or-later
#include "settingsstore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace Velmorant;

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}
} // namespace

// Writes once, makes the folder and file read-only, then changes a value:
// the change is lost, the old values still read, nothing crashes.
bool readOnlyScenario(const QString &base)
{
    const QString folder = base + "/Velmorant Client";
    SettingsStore store(folder + "/config.json");
    const ClientSettings before = store.read();
    if (!QFile::exists(store.filePath()))
        return false;
    QFile::setPermissions(store.filePath(), QFileDevice::ReadOwner);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ClientSettings changed = before;
    changed.userName = "Someone else";
    const bool written = store.write(changed);
    const bool unchanged = store.read() == before;
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(store.filePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return !written && unchanged;
}

class TestSettingsStore : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString configPath() const { return m_dir.filePath("Velmorant Client/config.json"); }

private slots:
    void init() { QDir(m_dir.filePath("Velmorant Client")).removeRecursively(); }

    // The default name (and the session's identity when no name is chosen):
    // the first source that gives one.
    void userNameChain_data()
    {
        QTest::addColumn<QStringList>("sources"); // display, logon, USER, USERNAME
        QTest::addColumn<QString>("expected");
        QTest::newRow("display name") << QStringList{"Full Name", "login", "u", "un"} << "Full Name";
        QTest::newRow("logon name") << QStringList{"", "login", "u", "un"} << "login";
        QTest::newRow("USER") << QStringList{"", "", "u", "un"} << "u";
        QTest::newRow("USERNAME") << QStringList{"", "", "", "un"} << "un";
        QTest::newRow("fixed") << QStringList{"", "", "", ""} << "User";
    }
    void userNameChain()
    {
        QFETCH(QStringList, sources);
        QTEST(firstUserName({sources[0], sources[1], sources[2], sources[3]}), "expected");
    }

    void userNameSourcesReadTheEnvironment()
    {
        qputenv("USER", "tester-user");
        qputenv("USERNAME", "tester-username");
        const UserNameSources sources = systemUserNameSources();
        QCOMPARE(sources.user, QString("tester-user"));
        QCOMPARE(sources.userName, QString("tester-username"));
        QVERIFY(!sources.logonName.isEmpty()); // the account running the test has one
    }

    void pathUnderGenericDataLocation()
    {
        const QString base = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).first();
        QCOMPARE(settingsFilePath(), QDir::cleanPath(base + "/Velmorant Client/config.json"));
    }

    void firstReadDerivesAndWritesDefaults()
    {
        const ClientSettings s = SettingsStore(configPath()).read();
        QCOMPARE(s.screenId, 0);
        QCOMPARE(s.userName, derivedUserName());
        QVERIFY(!s.userName.isEmpty());
        QCOMPARE(s.capturePath,
                 QDir::cleanPath(QStandardPaths::standardLocations(QStandardPaths::PicturesLocation).first()));
        QCOMPARE(s.configIsOnTop, false);
        QCOMPARE(s.configRemoteControl, true);
        QCOMPARE(s.language, QString("Fran?ais"));

        // Written at once, indented, members sorted by key.
        const QByteArray text = readAll(configPath());
        const QJsonObject o = QJsonDocument::fromJson(text).object();
        QCOMPARE(o.keys(), (QStringList{"CapturePath", "ConfigIsOnTop", "ConfigRemoteControl", "Langage", "ScreenId",
                                        "UserName"}));
        QVERIFY(text.contains("\n    \"CapturePath\""));
        QCOMPARE(o.value("Langage").toString(), QString("Fran?ais"));
        QCOMPARE(o.value("ConfigRemoteControl").toBool(), true);
        QCOMPARE(settingsFromJson(text), s);
    }

    void existingFileReadsEmptyValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty object") << QByteArray("{}");
        QTest::newRow("malformed") << QByteArray("{\"ScreenId\": 2,");
        QTest::newRow("array") << QByteArray("[1, 2]");
        QTest::newRow("wrong types") << QByteArray("{\"ScreenId\": \"2\", \"UserName\": 5, \"CapturePath\": [],"
                                                   " \"ConfigIsOnTop\": 1, \"ConfigRemoteControl\": \"true\","
                                                   " \"Langage\": null}");
    }
    void existingFileReadsEmptyValues()
    {
        QFETCH(QByteArray, content);
        QDir().mkpath(m_dir.filePath("Velmorant Client"));
        writeAll(configPath(), content);
        const ClientSettings s = SettingsStore(configPath()).read();
        QCOMPARE(s, ClientSettings{});
        // The file is not rewritten by a read.
        QCOMPARE(readAll(configPath()), content);
    }

    void roundTrip()
    {
        ClientSettings s;
        s.screenId = 2;
        s.userName = QString::fromUtf8("Zoé");
        s.capturePath = m_dir.filePath("shots");
        s.configIsOnTop = true;
        s.configRemoteControl = false;
        s.language = "English";
        SettingsStore store(configPath());
        QVERIFY(store.write(s));
        QCOMPARE(store.read(), s);
        QVERIFY(QDir(s.capturePath).exists());
    }

    void captureFolderCreatedOneLevel()
    {
        ClientSettings s;
        s.capturePath = m_dir.filePath("missing-parent/captures");
        SettingsStore store(configPath());
        QVERIFY(store.write(s));
        store.read();
        QVERIFY(!QDir(m_dir.filePath("missing-parent")).exists());
    }

    void readOnlyFolderLosesChangesSilently()
    {
        // Permissions do not bind root: as root, run the scenario in a child
        // that has become an unprivileged user.
        if (geteuid() != 0) {
            QVERIFY(readOnlyScenario(m_dir.path()));
            return;
        }
        QTemporaryDir dir(QStringLiteral("/tmp/velmorant-ro-XXXXXX"));
        QVERIFY(::chown(dir.path().toLocal8Bit().constData(), 65534, 65534) == 0);
        const pid_t child = fork();
        if (child == 0) {
            bool ok = setgid(65534) == 0 && setuid(65534) == 0 && readOnlyScenario(dir.path());
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void unwritableLocationDerivesAgain()
    {
        // A file where the folder should be: nothing can be written, and every
        // read derives the defaults anew without crashing.
        writeAll(m_dir.filePath("blocker"), "x");
        SettingsStore store(m_dir.filePath("blocker/config.json"));
        QCOMPARE(store.read().language, QString("Fran?ais"));
        QVERIFY(!QFile::exists(m_dir.filePath("blocker/config.json")));
        QCOMPARE(store.read().configRemoteControl, true);
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
