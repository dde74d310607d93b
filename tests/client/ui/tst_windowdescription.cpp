// SPDX-License-Identifier: GPL-2.0-or-later
// Reading the window description: styles, keys and their defaults, number
// lists, malformed values, missing windows and documents.
#include "windowdescriptionfile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

namespace {

// A document with one window "W" holding the given widget objects.
QByteArray document(const QByteArray &pStyles, const QByteArray &pWidgets)
{
    return "// comments are allowed\n{ \"styles\": [" + pStyles +
           "], \"windows\": [ { \"WindowsName\": \"W\", "
           "\"Size\": \"500, 252\", \"children\": [" +
           pWidgets + "] } ] }";
}

const QByteArray kStyle = R"js({ "Name": "configuration_button", "TitleFontColor": "rgba(238, 240, 239, 255)",
    "TitleMarginLeft": 104, "TitleMarginTop": -2, "TitleFontSize": 11,
    "DescriptionFontColor": "rgba(238, 240, 239, 255)", "DescriptionMarginLeft": 95,
    "DescriptionMarginTop": 35, "DescriptionFontSize": 11, "ImageSize": "56, 56" })js";

WidgetDescription onlyWidget(const QByteArray &pStyles, const QByteArray &pWidget)
{
    WindowDescriptionFile file;
    if (!file.loadFromData(document(pStyles, pWidget)))
        qWarning("test document does not parse");
    const WindowDescription window = file.windowDescription(QStringLiteral("W"));
    return window.children.empty() ? WidgetDescription() : window.children.front();
}

} // namespace

class TestWindowDescription : public QObject {
    Q_OBJECT
private slots:
    void styleMergeKeepsOwnMembers()
    {
        const WidgetDescription w = onlyWidget(
            kStyle,
            R"({ "Name": "B", "Type": "ButtonWithLabel", "Style": "configuration_button", "TitleFontSize": 14 })");
        QCOMPARE(w.titleFontSize, 14);
        QCOMPARE(w.name, QStringLiteral("B")); // the style's "Name" is never copied
        QCOMPARE(w.titleMarginLeft, 104);
        QCOMPARE(w.titleMarginTop, -2);
        QCOMPARE(w.descriptionMarginLeft, 95);
        QCOMPARE(w.descriptionMarginTop, 35);
        QCOMPARE(w.descriptionFontSize, 11);
        QCOMPARE(w.titleFontColor, QStringLiteral("rgba(238, 240, 239, 255)"));
        QVERIFY(w.hasImageSize);
        QCOMPARE(w.imageWidth, 56);
        QCOMPARE(w.imageHeight, 56);
        // The merged object is kept for keys the record does not list.
        QCOMPARE(w.intValue("TitleMarginLeft"), 104);
        QCOMPARE(w.stringValue("Name"), QStringLiteral("B"));
    }

    void laterStyleOfANameWins()
    {
        const WidgetDescription w = onlyWidget(R"({ "Name": "s", "FontSize": 11, "Text": "first" },
                                                 { "Name": "s", "FontSize": 22 })",
                                               R"({ "Name": "L", "Type": "QLabel", "Style": "s" })");
        QCOMPARE(w.fontSize, 22);
        QCOMPARE(w.text, QString()); // nothing of the replaced style remains
    }

    void unknownStyleAddsNothing()
    {
        const WidgetDescription w = onlyWidget(kStyle, R"({ "Name": "L", "Style": "nobody" })");
        QCOMPARE(w.titleMarginLeft, 0);
        QCOMPARE(w.titleFontSize, 10);
    }

    void enableFlag_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("clickable");
        QTest::newRow("TRUE") << QByteArray(R"("TRUE")") << true;
        QTest::newRow("literal true") << QByteArray("true") << true;
        QTest::newRow("true") << QByteArray(R"("true")") << true;
        QTest::newRow("false") << QByteArray(R"("false")") << false;
        QTest::newRow("no") << QByteArray(R"("no")") << false;
        QTest::newRow("0") << QByteArray(R"("0")") << false;
        QTest::newRow("literal false") << QByteArray("false") << false;
        QTest::newRow("number 1") << QByteArray("1") << false;
    }
    void enableFlag()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, clickable);
        QCOMPARE(onlyWidget("", R"({ "Name": "B", "Enable": )" + value + " }").enable, clickable);
    }

    void defaults()
    {
        const WidgetDescription w = onlyWidget("", R"({ "Name": "B" })");
        QCOMPARE(w.titleFontSize, 10);
        QCOMPARE(w.descriptionFontSize, 10);
        QCOMPARE(w.fontSize, 0);
        QVERIFY(w.enable);
        QCOMPARE(w.alignment, QStringLiteral("Left"));
        QCOMPARE(w.titleFontColor, QStringLiteral("white"));
        QCOMPARE(w.descriptionFontColor, QStringLiteral("white"));
        QVERIFY(!w.hasImageSize);
        QCOMPARE(w.type, QString());
    }

    void numberLists_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("geometry");
        QTest::newRow("spaces") << " 130, 102, 240, 48" << QList<int>{130, 102, 240, 48};
        QTest::newRow("empty part kept") << "1,,3,4" << QList<int>{1, 0, 3, 4};
        QTest::newRow("not a number") << "1, x, 3.5, 4" << QList<int>{1, 0, 0, 4};
        QTest::newRow("missing parts") << "7, 8" << QList<int>{7, 8, 0, 0};
        QTest::newRow("negative") << "-4, -2, 10, 10" << QList<int>{-4, -2, 10, 10};
    }
    void numberLists()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, geometry);
        const WidgetDescription w = onlyWidget("", R"({ "Geometry": ")" + text.toUtf8() + R"(" })");
        QCOMPARE((QList<int>{w.x, w.y, w.width, w.height}), geometry);
    }

    void imageSizeNeedsTwoParts_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("set");
        QTest::newRow("one part") << QByteArray(R"("56")") << false;
        QTest::newRow("two parts") << QByteArray(R"("56, 40")") << true;
        QTest::newRow("two empty parts") << QByteArray(R"(",")") << true;
    }
    void imageSizeNeedsTwoParts()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, set);
        const WidgetDescription w = onlyWidget("", R"({ "ImageSize": )" + value + " }");
        QCOMPARE(w.hasImageSize, set);
        if (!set) {
            QCOMPARE(w.imageWidth, 0);
            QCOMPARE(w.imageHeight, 0);
        }
    }

    void textForms_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("string") << QByteArray(R"("Ok")") << "Ok";
        QTest::newRow("boolean") << QByteArray("false") << "false";
        QTest::newRow("integer") << QByteArray("42") << "42";
        QTest::newRow("null") << QByteArray("null") << "";
        QTest::newRow("array") << QByteArray("[1, 2]") << "";
    }
    void textForms()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, text);
        QCOMPARE(onlyWidget("", R"({ "Text": )" + value + " }").text, text);
    }

    void integerKeys_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<bool>("warns");
        QTest::newRow("number") << QByteArray("17") << 17 << false;
        QTest::newRow("boolean") << QByteArray("true") << 1 << false;
        QTest::newRow("null") << QByteArray("null") << 0 << false;
        QTest::newRow("fraction") << QByteArray("14.9") << 14 << false;
        QTest::newRow("huge") << QByteArray("1e300") << std::numeric_limits<int>::max() << false;
        QTest::newRow("string") << QByteArray(R"("14")") << 0 << true;
        QTest::newRow("array") << QByteArray("[14]") << 0 << true;
        QTest::newRow("object") << QByteArray(R"({ "a": 1 })") << 0 << true;
    }
    void integerKeys()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, fontSize);
        QFETCH(bool, warns);
        if (warns)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(R"(window "W" widget "Lbl" key FontSize holds an? \w+ where)"));
        QCOMPARE(onlyWidget("", R"({ "Name": "Lbl", "FontSize": )" + value + " }").fontSize, fontSize);
    }

    void childrenInOrderAndNested()
    {
        WindowDescriptionFile file;
        QVERIFY(file.loadFromData(document("", R"({ "Name": "A", "children": [ { "Name": "A1" },
            { "Name": "A2", "children": [ { "Name": "A2a" } ] } ] }, { "Name": "B" })")));
        const WindowDescription window = file.windowDescription(QStringLiteral("W"));
        QCOMPARE(window.width, 500);
        QCOMPARE(window.height, 252);
        QCOMPARE(int(window.children.size()), 2);
        QCOMPARE(window.children[0].children[1].name, QStringLiteral("A2"));
        QCOMPARE(window.children[0].children[1].children[0].name, QStringLiteral("A2a"));
        QCOMPARE(window.children[1].name, QStringLiteral("B"));
    }

    void missingWindowOrDocument_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("name");
        QTest::newRow("unknown name") << document("", R"({ "Name": "A" })") << "Other";
        QTest::newRow("empty document") << QByteArray() << "W";
        QTest::newRow("not JSON") << QByteArray("{ \"windows\": [ { \"WindowsName\": \"W\" ") << "W";
        QTest::newRow("root is an array") << QByteArray(R"([ { "WindowsName": "W", "Size": "5, 5" } ])") << "W";
        QTest::newRow("windows is an object") << QByteArray(R"({ "windows": { "WindowsName": "W" } })") << "W";
    }
    void missingWindowOrDocument()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, name);
        WindowDescriptionFile file;
        file.loadFromData(data);
        QVERIFY(!file.findWindow(name));
        const WindowDescription window = file.windowDescription(name);
        QCOMPARE(window.width, 0);
        QCOMPARE(window.height, 0);
        QVERIFY(window.children.empty());
    }

    // Damaged copies of the shipped document never throw or crash; whatever
    // still parses gives windows with sane records.
    void damagedDocuments()
    {
        const QString path = qEnvironmentVariable("VELMORANT_SOURCE_DIR") + "/client/resources/windows.json";
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            QSKIP("the shipped description is not at VELMORANT_SOURCE_DIR");
        const QByteArray original = file.readAll();
        QLoggingCategory::setFilterRules(QStringLiteral("velmorant.ui.warning=false\nvelmorant.ui.debug=false"));
        const QList<QByteArray> replacements = {"\"", "[",     "]",    "{",    "}",     ",",       ":",
                                                "0",  "-1e99", "true", "null", "\"x\"", "[1, {}]", "{\"Name\": 4}",
                                                "\\", "\xff",  "//",   "/*"};
        QRandomGenerator random(20251210);
        int parsed = 0;
        for (int round = 0; round < 200; ++round) {
            QByteArray damaged = original;
            const int edits = 1 + int(random.bounded(6));
            for (int e = 0; e < edits; ++e) {
                const int at = int(random.bounded(damaged.size()));
                const int length = int(random.bounded(12));
                damaged.replace(at, length, replacements.at(int(random.bounded(replacements.size()))));
            }
            if (round % 17 == 0)
                damaged.truncate(int(random.bounded(damaged.size())));
            WindowDescriptionFile description;
            parsed += description.loadFromData(damaged) ? 1 : 0;
            for (const QString &name : description.windowNames()) {
                const WindowDescription window = description.windowDescription(name);
                QVERIFY(window.children.size() < 1000);
            }
        }
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(parsed > 0); // some damage keeps the document readable, and those are walked too
    }

    void badChildrenAreSkipped()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is not an object"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("is not an array"));
        WindowDescriptionFile file;
        QVERIFY(file.loadFromData(document("", R"(42, { "Name": "A", "children": "x" })")));
        const WindowDescription window = file.windowDescription(QStringLiteral("W"));
        QCOMPARE(int(window.children.size()), 1);
        QVERIFY(window.children[0].children.empty());
    }
};

QTEST_GUILESS_MAIN(TestWindowDescription)
#include "tst_windowdescription.moc"
