// SPDX-License-Identifier: GPL-2.0-or-later
#include "language.h"

#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using namespace Velmorant;

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void rule_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("french");
        QTest::newRow("Francais") << "Francais"
                                  << "en_US" << true;
        QTest::newRow("Fran?ais") << "Fran?ais"
                                  << "en_US" << true;
        QTest::newRow("Français") << QString::fromUtf8("Français") << "en_US" << true;
        QTest::newRow("fr_FR") << "fr_FR"
                               << "en_US" << true;
        QTest::newRow("FR") << "FR"
                            << "en_US" << true;
        QTest::newRow("French") << "French"
                                << "en_US" << true;
        QTest::newRow("English") << "English"
                                 << "fr_FR" << false;
        QTest::newRow("en_US") << "en_US"
                               << "fr_FR" << false;
        QTest::newRow("de_DE") << "de_DE"
                               << "fr_FR" << false;
        QTest::newRow("nothing stored, fr_CA") << ""
                                               << "fr_CA" << true;
        QTest::newRow("nothing stored, de_DE") << ""
                                               << "de_DE" << false;
    }
    void rule()
    {
        QFETCH(QString, stored);
        QFETCH(QString, locale);
        QFETCH(bool, french);
        QCOMPARE(isFrenchLanguage(effectiveLanguage(stored, locale)), french);
    }

    void catalogue()
    {
        QCOMPARE(catalogueFilePath("/opt/app", true), QString("/opt/app/languages/velmorantclient_fr.qm"));
        QCOMPARE(catalogueFilePath("/opt/app", false), QString("/opt/app/languages/velmorantclient_en.qm"));
    }

    // An installed program: <prefix>/bin/velmorant-client and the catalogues
    // in <prefix>/share/velmorant-client/languages. A languages folder beside
    // the program (the build tree) is still tried first.
    void catalogueLookup_data()
    {
        QTest::addColumn<QStringList>("present"); // files under the prefix
        QTest::addColumn<bool>("french");
        QTest::addColumn<QString>("expected"); // relative to the prefix; empty: none
        const QString share = "share/velmorant-client/languages/";
        QTest::newRow("installed") << QStringList{share + "velmorantclient_fr.qm", share + "velmorantclient_en.qm"}
                                   << true << share + "velmorantclient_fr.qm";
        QTest::newRow("beside first") << QStringList{"bin/languages/velmorantclient_en.qm",
                                                     share + "velmorantclient_en.qm"}
                                      << false << "bin/languages/velmorantclient_en.qm";
        QTest::newRow("beside lacks the language")
            << QStringList{"bin/languages/velmorantclient_en.qm", share + "velmorantclient_fr.qm"} << true
            << share + "velmorantclient_fr.qm";
        QTest::newRow("only the other language") << QStringList{share + "velmorantclient_en.qm"} << true << "";
        QTest::newRow("a folder by the catalogue's name")
            << QStringList{share + "velmorantclient_fr.qm/x"} << true << "";
        QTest::newRow("nothing") << QStringList{} << false << "";
    }
    void catalogueLookup()
    {
        QFETCH(QStringList, present);
        QFETCH(bool, french);
        QFETCH(QString, expected);
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin"));
        for (const QString &relative : present) {
            const QString path = prefix.filePath(relative);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString found = findCatalogue(catalogueFolders(prefix.filePath("bin")), french);
        QCOMPARE(found, expected.isEmpty() ? QString() : prefix.filePath(expected));
    }

    // The real French catalogue, installed: loaded and translating; a damaged
    // file is refused, not half-loaded.
    void loadInstalledCatalogue()
    {
        const QString built = qEnvironmentVariable("VELMORANT_BUILD_DIR") + "/bin/languages/velmorantclient_fr.qm";
        if (!QFileInfo::exists(built))
            QSKIP("the compiled catalogues are not in VELMORANT_BUILD_DIR");
        QTemporaryDir prefix;
        const QString languages = prefix.filePath("share/velmorant-client/languages");
        QVERIFY(QDir().mkpath(languages));
        QVERIFY(QDir().mkpath(prefix.filePath("bin")));
        QVERIFY(QFile::copy(built, languages + "/velmorantclient_fr.qm"));

        QTranslator translator;
        QVERIFY(loadCatalogue(translator, prefix.filePath("bin"), true));
        QCOMPARE(translator.translate("UiCodeWindow", "Enter Code"), QString("Saisissez le code"));

        QTranslator english;
        QVERIFY(!loadCatalogue(english, prefix.filePath("bin"), false)); // not installed
        QFile damaged(languages + "/velmorantclient_en.qm");
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("not a catalogue");
        damaged.close();
        QVERIFY(!loadCatalogue(english, prefix.filePath("bin"), false));
        QVERIFY(english.isEmpty());
    }

    void readStartupLanguage_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file
        QTest::addColumn<QString>("expected");
        QTest::newRow("no file") << QByteArray() << "";
        QTest::newRow("malformed") << QByteArray("{\"Langage\": \"English\"") << "";
        QTest::newRow("no key") << QByteArray("{\"UserName\": \"x\"}") << "";
        QTest::newRow("not a string") << QByteArray("{\"Langage\": 3}") << "";
        QTest::newRow("array") << QByteArray("[\"Langage\"]") << "";
        QTest::newRow("English") << QByteArray("{\"Langage\": \"English\"}") << "English";
    }
    void readStartupLanguage()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("config.json");
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QCOMPARE(Velmorant::readStartupLanguage(path), expected);
    }
};

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
