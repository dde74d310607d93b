// SPDX-License-Identifier: GPL-2.0-or-later
#include "uicodetextbox.h"
#include "uifreewindow.h"

#include <QtTest>

namespace {

// Records the keys the box hands on.
class KeyWindow : public UiFreeWindow {
public:
    QList<int> keys;
    void childKeyPressEvent(QKeyEvent *pEvent) override { keys << pEvent->key(); }
};

struct Key {
    int key;
    QString text;
};

} // namespace
Q_DECLARE_METATYPE(QList<Key>)

class TestUiCodeTextbox : public QObject {
    Q_OBJECT
private:
    static QList<Key> typed(const QString &s)
    {
        QList<Key> keys;
        for (QChar c : s) {
            if (c == '<')
                keys << Key{Qt::Key_Backspace, "\b"};
            else if (c == 'L')
                keys << Key{Qt::Key_Left, ""};
            else if (c == 'R')
                keys << Key{Qt::Key_Right, ""};
            else
                keys << Key{c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A')
                                         : (c.isDigit() ? Qt::Key_0 + (c.unicode() - '0') : Qt::Key_Period),
                            QString(c)};
        }
        return keys;
    }

private slots:
    // Keys are written as text: '<' Backspace, 'L' Left, 'R' Right; lower
    // case letters and digits type, anything else is some other key.
    void keyTable_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("filled");
        QTest::addColumn<QStringList>("announced");
        QTest::addColumn<int>("passedOn");
        QTest::newRow("abc12") << "abc12"
                               << "ABC12" << 4 << 5 << QStringList{"A____", "AB___", "ABC__", "ABC1_", "ABC12"} << 0;
        QTest::newRow("backspace on empty cell only moves") << "ab<"
                                                            << "AB___" << 1 << 2 << QStringList{"A____", "AB___"} << 0;
        QTest::newRow("second backspace erases") << "ab<<"
                                                 << "A____" << 0 << 1 << QStringList{"A____", "AB___", "A____"} << 0;
        QTest::newRow("full: backspace erases at once")
            << "abcde<"
            << "ABCD_" << 3 << 4 << QStringList{"A____", "AB___", "ABC__", "ABCD_", "ABCDE", "ABCD_"} << 0;
        QTest::newRow("right stops at empty cell") << "aRR"
                                                   << "A____" << 1 << 1 << QStringList{"A____"} << 0;
        QTest::newRow("left then letter overwrites")
            << "abLx"
            << "AX___" << 2 << 2 << QStringList{"A____", "AB___", "AX___"} << 0;
        QTest::newRow("backspace far before last is passed on")
            << "abcLL<"
            << "ABC__" << 1 << 3 << QStringList{"A____", "AB___", "ABC__"} << 1;
        QTest::newRow("punctuation passed on") << "a.b"
                                               << "AB___" << 2 << 2 << QStringList{"A____", "AB___"} << 1;
        QTest::newRow("left at first cell stays") << "L"
                                                  << "_____" << 0 << 0 << QStringList{} << 0;
    }
    void keyTable()
    {
        QFETCH(QString, keys);
        QFETCH(QString, code);
        QFETCH(int, cursor);
        QFETCH(int, filled);
        QFETCH(QStringList, announced);
        QFETCH(int, passedOn);

        KeyWindow window;
        UiCodeTextbox box(&window);
        box.setKeyReceiver(&window);
        box.resize(240, 48);
        QSignalSpy spy(&box, &UiCodeTextbox::codeChanged);
        for (const Key &k : typed(keys)) {
            QKeyEvent press(QEvent::KeyPress, k.key, Qt::NoModifier, k.text);
            QCoreApplication::sendEvent(&box, &press);
        }
        QCOMPARE(box.code(), code);
        QCOMPARE(box.cursorIndex(), cursor);
        QCOMPARE(box.filledCount(), filled);
        QStringList got;
        for (const QList<QVariant> &args : spy)
            got << args.first().toString();
        QCOMPARE(got, announced);
        QCOMPARE(window.keys.size(), passedOn);
    }

    void controlKeysAndKeysWithoutTextGoToWindow()
    {
        KeyWindow window;
        UiCodeTextbox box(&window);
        box.setKeyReceiver(&window);
        box.resize(240, 48);
        QSignalSpy spy(&box, &UiCodeTextbox::codeChanged);
        const QList<Key> keys{{Qt::Key_V, QString(QChar(0x16))}, // Ctrl+V carries a control character
                              {Qt::Key_Return, "\r"},
                              {Qt::Key_F1, ""},
                              {Qt::Key_Space, " "}};
        for (const Key &k : keys) {
            QKeyEvent press(QEvent::KeyPress, k.key, k.key == Qt::Key_V ? Qt::ControlModifier : Qt::NoModifier, k.text);
            QCoreApplication::sendEvent(&box, &press);
        }
        QCOMPARE(window.keys, (QList<int>{Qt::Key_V, Qt::Key_Return, Qt::Key_F1, Qt::Key_Space}));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(box.code(), QString("_____"));
    }

    void clearCodeAnnouncesAgain()
    {
        KeyWindow window;
        UiCodeTextbox box(&window);
        box.resize(240, 48);
        QSignalSpy spy(&box, &UiCodeTextbox::codeChanged);
        QTest::keyClicks(&box, "abc12");
        box.clearCode();
        QCOMPARE(spy.count(), 5); // clearing does not announce
        QCOMPARE(box.code(), QString("_____"));
        QCOMPARE(box.cursorIndex(), 0);
        QTest::keyClicks(&box, "abc12");
        QCOMPARE(spy.count(), 10);
    }

    void layoutOf240By48()
    {
        KeyWindow window;
        UiCodeTextbox box(&window);
        box.setCharacterLayout(99, 99); // replaced by the layout rule
        box.resize(240, 48);
        box.layoutCells();
        QCOMPARE(box.cellWidth(), 38);
        QCOMPARE(box.cellMargin(), 9);
        QCOMPARE(box.cell(0)->geometry(), QRect(9, 0, 38, 48));
        QCOMPARE(box.cell(1)->geometry(), QRect(56, 0, 38, 48));
        QCOMPARE(box.cell(0)->font().pixelSize(), 28);
        QCOMPARE(box.cursorLabel()->geometry(), box.cell(0)->geometry());
        QVERIFY(!box.cursorLabel()->isVisibleTo(&box)); // no focus
    }
};

QTEST_MAIN(TestUiCodeTextbox)
#include "tst_uicodetextbox.moc"
