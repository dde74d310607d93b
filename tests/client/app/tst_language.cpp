// SPDX-License-Identifier: GPL-2.0-or-later
#include "language.h"

#include <QTemporaryDir>
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
        QTest::newRow("Francais") << "Francais" << "en_US" << true;
        QTest::newRow("Fran?ais") << "Fran?ais" << "en_US" << true;
        QTest::newRow("Français") << QString::fromUtf8("Français") << "en_US" << true;
        QTest::newRow("fr_FR") << "fr_FR" << "en_US" << true;
        QTest::newRow("FR") << "FR" << "en_US" << true;
        QTest::newRow("French") << "French" << "en_US" << true;
        QTest::newRow("English") << "English" << "fr_FR" << false;
        QTest::newRow("en_US") << "en_US" << "fr_FR" << false;
        QTest::newRow("de_DE") << "de_DE" << "fr_FR" << false;
        QTest::newRow("nothing stored, fr_CA") << "" << "fr_CA" << true;
        QTest::newRow("nothing stored, de_DE") << "" << "de_DE" << false;
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
