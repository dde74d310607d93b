// SPDX-License-Identifier: GPL-2.0-or-later
// The language entry: which entry a stored text selects, and when choosing
// an entry calls for a restart.
#include "languagechoice.h"

#include <QtTest>

using Velmorant::LanguageChoice;

class TestLanguageChoice : public QObject {
    Q_OBJECT

private slots:
    void theFirstEntryShownIsInForce()
    {
        LanguageChoice choice;
        choice.shown(LanguageChoice::French);
        choice.shown(LanguageChoice::English); // a later read does not change the running language
        QVERIFY(!choice.needsRestart(LanguageChoice::French));
        QVERIFY(choice.needsRestart(LanguageChoice::English));

        choice.forget();
        QVERIFY(choice.needsRestart(LanguageChoice::French)); // nothing in force yet
        choice.shown(LanguageChoice::English);
        QVERIFY(!choice.needsRestart(LanguageChoice::English));
        QVERIFY(choice.needsRestart(LanguageChoice::French));
    }

    void indexOf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::newRow("English") << "English" << int(LanguageChoice::English);
        QTest::newRow("Francais") << "Francais" << int(LanguageChoice::French);
        QTest::newRow("Français") << QStringLiteral("Français") << int(LanguageChoice::French);
        QTest::newRow("code") << "fr_FR" << int(LanguageChoice::French);
        QTest::newRow("upper case") << "FRENCH" << int(LanguageChoice::French);
        QTest::newRow("empty") << QString() << int(LanguageChoice::English);
        QTest::newRow("unknown") << "Deutsch" << int(LanguageChoice::English);
    }
    void indexOf()
    {
        QFETCH(QString, text);
        QFETCH(int, index);
        QCOMPARE(LanguageChoice::indexOf(text), index);
    }
};

QTEST_GUILESS_MAIN(TestLanguageChoice)
#include "tst_languagechoice.moc"
