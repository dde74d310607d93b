// SPDX-License-Identifier: GPL-2.0-or-later
// The saved settings: loading a file or the defaults written in its place,
// what taking a set of edits reports for each member, and saving, including
// to a place that cannot hold the file.
#include "savedsettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Velmorant::ClientSettings;
using Velmorant::SavedSettings;
using Velmorant::SettingsChange;

namespace {

ClientSettings sample()
{
    return ClientSettings{1, QStringLiteral("Ada"), QStringLiteral("/tmp"), false, true, QStringLiteral("English")};
}

} // namespace

Q_DECLARE_METATYPE(ClientSettings)

class TestSavedSettings : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void loadReadsTheFile()
    {
        const QString file = m_dir.filePath("read/config.json");
        QVERIFY(QDir().mkpath(m_dir.filePath("read")));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(Velmorant::settingsToJson(sample()));
        out.close();

        SavedSettings saved(file);
        QVERIFY(saved.load());
        QCOMPARE(saved.values(), sample());
    }

    void loadWithoutFileTakesTheDefaultsItWrites()
    {
        const QString file = m_dir.filePath("fresh/config.json");
        SavedSettings saved(file);
        QVERIFY(!saved.load());
        QCOMPARE(saved.values(), Velmorant::defaultSettings());
        QVERIFY(QFile::exists(file));
        // From now on there is a file to read, holding the same values.
        SavedSettings again(file);
        QVERIFY(again.load());
        QCOMPARE(again.values(), Velmorant::defaultSettings());
    }

    void take_data()
    {
        QTest::addColumn<ClientSettings>("edited");
        QTest::addColumn<bool>("any");
        QTest::addColumn<bool>("userName");
        QTest::addColumn<bool>("remoteControl");
        ClientSettings edited = sample();
        QTest::newRow("nothing") << edited << false << false << false;
        edited = sample();
        edited.screenId = -1;
        QTest::newRow("screen") << edited << true << false << false;
        edited = sample();
        edited.userName = QStringLiteral("Grace");
        QTest::newRow("user name") << edited << true << true << false;
        edited = sample();
        edited.capturePath = QStringLiteral("/var/tmp");
        QTest::newRow("capture path") << edited << true << false << false;
        edited = sample();
        edited.configIsOnTop = true;
        QTest::newRow("on top") << edited << true << false << false;
        edited = sample();
        edited.configRemoteControl = false;
        QTest::newRow("remote control") << edited << true << false << true;
        edited = sample();
        edited.language = QStringLiteral("Francais");
        QTest::newRow("language alone") << edited << true << false << false;
        edited = sample();
        edited.userName.clear();
        edited.configRemoteControl = false;
        QTest::newRow("name and remote control") << edited << true << true << true;
    }
    void take()
    {
        QFETCH(ClientSettings, edited);
        QFETCH(bool, any);
        QFETCH(bool, userName);
        QFETCH(bool, remoteControl);
        SavedSettings saved(m_dir.filePath("unused/config.json"));
        saved.values() = sample();
        const SettingsChange change = saved.take(edited);
        QCOMPARE(change.any, any);
        QCOMPARE(change.userName, userName);
        QCOMPARE(change.remoteControl, remoteControl);
        QCOMPARE(saved.values(), edited);
        // The same edits again change nothing.
        const SettingsChange second = saved.take(edited);
        QVERIFY(!second.any && !second.userName && !second.remoteControl);
    }

    void saveWritesWhatLoadReads()
    {
        const QString file = m_dir.filePath("save/config.json");
        SavedSettings saved(file);
        saved.values() = sample();
        QVERIFY(saved.save());
        SavedSettings reader(file);
        QVERIFY(reader.load());
        QCOMPARE(reader.values(), sample());
    }

    void saveReportsAPlaceThatCannotHoldTheFile()
    {
        // A regular file where the folder should be: no one can write there.
        QFile blocker(m_dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SavedSettings saved(m_dir.filePath("blocker/config.json"));
        saved.values() = sample();
        // Said where it can be seen: the window goes on as if the edits held.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write .*blocker/config.json"));
        QVERIFY(!saved.save());
        QCOMPARE(saved.values(), sample()); // the values stay for a later try
    }
};

QTEST_GUILESS_MAIN(TestSavedSettings)
#include "tst_savedsettings.moc"
