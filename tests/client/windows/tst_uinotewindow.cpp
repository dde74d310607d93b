// SPDX-License-Identifier: GPL-2.0-or-later
// The note composer built from the shipped description: colour and tag
// codes, the composed note, the weighted length and its key filter, pastes
// that go over it, the counter's shake (on an injected clock), closing and
// reset.
#include "renderimage.h"
#include "uicustombutton.h"
#include "uinotewindowadvanced.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include <memory>

using Velmorant::Advanced::UiNoteWindowAdvanced;

namespace {

// A window whose shake runs on a clock the test moves.
struct Note {
    Note()
    {
        window.setClock([this] { return clock; });
    }
    qint64 clock = 1000;
    UiNoteWindowAdvanced window;

    QTextEdit *text() const { return window.findWidget<QTextEdit>("MainText"); }
    QLabel *counter() const { return window.findWidget<QLabel>("CharacterCounter"); }
    UiCustomButton *button(const char *pName) const { return window.findWidget<UiCustomButton>(pName); }
    void click(const char *pName) const
    {
        UiCustomButton *b = button(pName);
        QVERIFY2(b, pName);
        b->emitClicked();
    }
    // The colour of every character of the text.
    QSet<QString> textColors() const
    {
        QSet<QString> colors;
        for (QTextBlock block = text()->document()->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                colors << it.fragment().charFormat().foreground().color().name();
        return colors;
    }
    bool showsSecondImage(const char *pName) const
    {
        UiCustomButton *b = button(pName);
        return b && b->currentImage() == b->backgroundImage2();
    }
};

QImage backgroundOf(const Note &pNote)
{
    auto *label = pNote.window.findWidget<QLabel>("BackgroundColor");
    return label ? label->pixmap(Qt::ReturnByValue).toImage() : QImage();
}

QImage rendered(const char *pPath, const QWidget &pWindow)
{
    return renderImage(QLatin1String(pPath), pWindow.width(), pWindow.height()).toImage();
}

void setText(Note &pNote, const QString &pText, int pCaret)
{
    pNote.text()->setPlainText(pText);
    QTextCursor cursor = pNote.text()->textCursor();
    cursor.setPosition(pCaret < 0 ? int(pText.size()) : pCaret);
    pNote.text()->setTextCursor(cursor);
}

QString a(int pCount)
{
    return QString(pCount, QLatin1Char('a'));
}

} // namespace

class TestUiNoteWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path())); // the shipped description, not an override
        QFontDatabase::addApplicationFont(":/MainWidget/Muli-Regular.ttf");
    }

    void freshNote()
    {
        Note note;
        QVERIFY(note.text());
        QVERIFY(note.counter());
        QCOMPARE(note.window.objectName(), QString("VelmorantWidgetForm"));
        QCOMPARE(note.counter()->text(), QString("102"));
        QCOMPARE(note.window.colorName(), QString("YELLOW"));
        QCOMPARE(backgroundOf(note), rendered(":/MainWidget/Advanced/note_back_yellow.svg", note.window));
        QCOMPARE(note.text()->textColor(), QColor(Qt::white));
        QVERIFY(note.showsSecondImage("ColorButton"));
        QVERIFY(!note.showsSecondImage("TagButton"));
        QVERIFY(note.showsSecondImage("ButtonColorYellow"));
        QVERIFY(!note.button("ButtonColorBlue")->isHidden());
        QVERIFY(note.button("ButtonTagStar")->isHidden());
        QVERIFY(!note.text()->acceptRichText());
        QCOMPARE(note.text()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(note.window.composedNote(), QString("#color=4\n#tag=0\n"));
        QVERIFY(!note.window.isValidated());
    }

    void blueStarNote()
    {
        Note note;
        note.click("ButtonColorBlue");
        note.click("TagButton");
        QVERIFY(note.button("ButtonColorBlue")->isHidden());
        QVERIFY(!note.button("ButtonTagStar")->isHidden());
        QVERIFY(note.showsSecondImage("TagButton"));
        QVERIFY(!note.showsSecondImage("ColorButton"));
        note.click("ButtonTagStar");
        QVERIFY(note.showsSecondImage("ButtonTagStar"));
        QTest::keyClicks(note.text(), "Hi");
        QCOMPARE(note.window.composedNote(), QString("#color=0\n#tag=1\nHi"));
        QCOMPARE(note.counter()->text(), QString("100"));

        // The selected tag clicked again is taken off.
        note.click("ButtonTagStar");
        QVERIFY(!note.showsSecondImage("ButtonTagStar"));
        QCOMPARE(note.window.composedNote(), QString("#color=0\n#tag=0\nHi"));
        // Another tag replaces the first.
        note.click("ButtonTagStar");
        note.click("ButtonTagCheck");
        QVERIFY(!note.showsSecondImage("ButtonTagStar"));
        QCOMPARE(note.window.composedNote(), QString("#color=0\n#tag=7\nHi"));
    }

    void codes_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("background"); // empty for tags

        const char *const colors[][4] = {
            {"ButtonColorYellow", "YELLOW", "#color=4", ":/MainWidget/Advanced/note_back_yellow.svg"},
            {"ButtonColorOrange", "ORANGE", "#color=8", ":/MainWidget/Advanced/note_back_orange.svg"},
            {"ButtonColorRed", "RED", "#color=2", ":/MainWidget/Advanced/note_back_red.svg"},
            {"ButtonColorGreen", "GREEN", "#color=1", ":/MainWidget/Advanced/note_back_green.svg"},
            {"ButtonColorBlue", "BLUE", "#color=0", ":/MainWidget/Advanced/note_back_blue.svg"},
            {"ButtonColorCamel", "CAMEL", "#color=5", ":/MainWidget/Advanced/note_back_camel.svg"},
            {"ButtonColorBrown", "BROWN", "#color=6", ":/MainWidget/Advanced/note_back_brown.svg"},
            {"ButtonColorBlack", "BLACK", "#color=7", ":/MainWidget/Advanced/note_back_black.svg"},
            {"ButtonColorGray", "GRAY", "#color=3", ":/MainWidget/Advanced/note_back_gray.svg"},
        };
        for (const auto &row : colors)
            QTest::newRow(row[1]) << row[0] << row[1] << row[2] << row[3];
        const char *const tags[][3] = {
            {"ButtonTagStar", "STAR", "#tag=1"},           {"ButtonTagExclamation", "EXCLAMATION", "#tag=2"},
            {"ButtonTagQuestion", "QUESTION", "#tag=3"},   {"ButtonTagThumbtack", "THUMBTACK", "#tag=4"},
            {"ButtonTagDuplicate", "DUPLICATE", "#tag=5"}, {"ButtonTagReload", "RELOAD", "#tag=6"},
            {"ButtonTagCheck", "CHECK", "#tag=7"},         {"ButtonTagApproximate", "APPROXIMATE", "#tag=8"},
            {"ButtonTagForbidden", "FORBIDDEN", "#tag=9"},
        };
        for (const auto &row : tags)
            QTest::newRow(row[1]) << row[0] << row[1] << row[2] << QString();
    }
    void codes()
    {
        QFETCH(QString, button);
        QFETCH(QString, key);
        QFETCH(QString, line);
        QFETCH(QString, background);
        const bool isTag = background.isEmpty();

        Note note;
        // Start away from the default so a button that does nothing shows.
        note.click(isTag ? "ButtonColorGreen" : "ButtonColorBlack");
        if (isTag)
            note.click("TagButton");
        note.click(qPrintable(button));
        QTest::keyClicks(note.text(), "ok");

        const QStringList lines = note.window.composedNote().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(isTag ? 1 : 0), line);
        QCOMPARE(lines.at(isTag ? 0 : 1), QString(isTag ? "#color=1" : "#tag=0"));
        QCOMPARE(lines.at(2), QString("ok"));
        QCOMPARE(isTag ? note.window.tagName() : note.window.colorName(), key);
        QCOMPARE(note.button(qPrintable(button))->property(isTag ? "tagName" : "colorName").toString(), key);

        // Only the chosen button of its row is marked.
        for (const char *prefix : {"ButtonColor", "ButtonTag"}) {
            for (QObject *child : note.window.findChildren<UiCustomButton *>()) {
                if (!child->objectName().startsWith(prefix) || isTag != (QString(prefix) == "ButtonTag"))
                    continue;
                QCOMPARE(note.showsSecondImage(qPrintable(child->objectName())), child->objectName() == button);
            }
        }
        if (!isTag)
            QCOMPARE(backgroundOf(note), rendered(qPrintable(background), note.window));
    }

    void grayNoteIsWrittenInBlack()
    {
        Note note;
        QTest::keyClicks(note.text(), "Hello");
        QCOMPARE(note.textColors(), QSet<QString>{"#ffffff"});
        QVERIFY(!note.showsSecondImage("CloseButton"));

        note.click("ButtonColorGray");
        QCOMPARE(note.textColors(), QSet<QString>{"#000000"});
        QCOMPARE(note.text()->textColor(), QColor(Qt::black));
        QCOMPARE(note.counter()->styleSheet(), QString("color: black"));
        QVERIFY(note.showsSecondImage("CloseButton"));
        // What is typed next is black too, and the text stays as it was.
        QTest::keyClicks(note.text(), " you");
        QCOMPARE(note.textColors(), QSet<QString>{"#000000"});
        QCOMPARE(note.window.noteText(), QString("Hello you"));

        note.click("ButtonColorRed");
        QCOMPARE(note.textColors(), QSet<QString>{"#ffffff"});
        QCOMPARE(note.counter()->styleSheet(), QString("color: white"));
        QVERIFY(!note.showsSecondImage("CloseButton"));
    }

    // Each row: a starting text with the caret, one action (a key, or a
    // paste when key is 0), and what the box, the counter and the shake
    // show after it.
    void weightedLength_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("caret"); // -1: at the end
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("paste");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<bool>("shakes");
        QTest::addColumn<int>("expectedCaret"); // -1: not checked

        const QString lf("\n");
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units

        QTest::newRow("weight 82, Return taken")
            << a(82) << -1 << int(Qt::Key_Return) << "" << a(82) + lf << "0" << false << 83;
        QTest::newRow("weight 83, Return refused")
            << a(83) << -1 << int(Qt::Key_Return) << "" << a(83) << "19" << true << -1;
        QTest::newRow("weight 83, keypad Enter refused")
            << a(83) << -1 << int(Qt::Key_Enter) << "" << a(83) << "19" << true << -1;
        QTest::newRow("empty, Return taken") << "" << -1 << int(Qt::Key_Return) << "" << lf << "82" << false << -1;
        QTest::newRow("weight 101, character taken") << a(101) << -1 << int(Qt::Key_B) << "" << a(101) + "b"
                                                     << "0" << false << -1;
        QTest::newRow("weight 102, character refused")
            << a(102) << -1 << int(Qt::Key_B) << "" << a(102) << "0" << true << -1;
        QTest::newRow("weight 102, Return refused")
            << a(102) << -1 << int(Qt::Key_Return) << "" << a(102) << "0" << true << -1;
        QTest::newRow("weight 102, Backspace")
            << a(102) << -1 << int(Qt::Key_Backspace) << "" << a(101) << "1" << false << 101;
        QTest::newRow("weight 102, Delete") << a(102) << 0 << int(Qt::Key_Delete) << "" << a(101) << "1" << false << 0;
        QTest::newRow("weight 102, Left") << a(102) << -1 << int(Qt::Key_Left) << "" << a(102) << "0" << false << 101;
        QTest::newRow("weight 102, Right") << a(102) << 5 << int(Qt::Key_Right) << "" << a(102) << "0" << false << 6;
        QTest::newRow("weight 102, Home") << a(102) << -1 << int(Qt::Key_Home) << "" << a(102) << "0" << false << 0;
        QTest::newRow("four line breaks and 2, Return taken")
            << lf + lf + lf + lf + "ab" << -1 << int(Qt::Key_Return) << "" << lf + lf + lf + lf + "ab" + lf << "0"
            << false << -1;
        QTest::newRow("five line breaks, Return refused")
            << QString(5, '\n') << -1 << int(Qt::Key_Return) << "" << QString(5, '\n') << "2" << true << -1;
        QTest::newRow("five line breaks, two characters taken")
            << QString(5, '\n') + "x" << -1 << int(Qt::Key_B) << "" << QString(5, '\n') + "xb"
            << "0" << false << -1;

        QTest::newRow("paste of weight 150 into an empty note")
            << "" << -1 << 0 << a(70) + lf + QString(60, 'b') << a(70) + lf + QString(12, 'b') << "0" << true << 83;
        QTest::newRow("paste whose line break does not fit")
            << "" << -1 << 0 << a(90) + lf + QString(40, 'b') << a(90) << "12" << true << 90;
        QTest::newRow("paste of eight line breaks")
            << "" << -1 << 0 << QString(8, '\n') << QString(5, '\n') << "2" << true << 5;
        QTest::newRow("paste that fits") << "x" << -1 << 0 << a(101) << "x" + a(101) << "0" << false << 102;
        QTest::newRow("paste inside the text keeps its end")
            << a(80) << 40 << 0 << QString(40, 'x') << a(40) + QString(22, 'x') + a(40) << "0" << true << 62;
        QTest::newRow("paste never splits a character") << a(101) << -1 << 0 << emoji << a(101) << "1" << true << 101;
        QTest::newRow("paste keeps whole characters")
            << a(100) << -1 << 0 << emoji + emoji << a(100) + emoji << "0" << true << 102;
    }
    void weightedLength()
    {
        QFETCH(QString, start);
        QFETCH(int, caret);
        QFETCH(int, key);
        QFETCH(QString, paste);
        QFETCH(QString, expected);
        QFETCH(QString, counter);
        QFETCH(bool, shakes);
        QFETCH(int, expectedCaret);

        Note note;
        setText(note, start, caret);
        QVERIFY(!note.window.isShaking());
        if (key != 0) {
            QTest::keyClick(note.text(), Qt::Key(key));
        } else {
            QApplication::clipboard()->setText(paste);
            QCOMPARE(QApplication::clipboard()->text(), paste);
            note.text()->paste();
        }
        QCOMPARE(note.text()->toPlainText(), expected);
        QCOMPARE(note.window.noteText(), expected);
        QCOMPARE(note.counter()->text(), counter);
        QCOMPARE(note.window.isShaking(), shakes);
        if (expectedCaret >= 0)
            QCOMPARE(note.text()->textCursor().position(), expectedCaret);
        QVERIFY(note.window.weightedLength() <= 102);
    }

    void shake()
    {
        Note note;
        const QRect rest = note.counter()->geometry();
        setText(note, a(102), -1);
        QTest::keyClick(note.text(), Qt::Key_B);
        QVERIFY(note.window.isShaking());

        note.clock = 1020; // 1.6 rad: 5 * 0.9996, cut towards zero
        QTRY_COMPARE(note.counter()->x(), rest.x() + 4);
        QCOMPARE(note.counter()->y(), rest.y());
        QCOMPARE(note.counter()->size(), rest.size());

        // Refused while it shakes: the shake goes on from its first start.
        note.clock = 1100;
        QTest::keyClick(note.text(), Qt::Key_C);
        QCOMPARE(note.text()->toPlainText(), a(102));
        note.clock = 1220; // 17.6 rad, third swing: 5/3 * -0.95, cut towards zero
        QTRY_COMPARE(note.counter()->x(), rest.x() - 1);
        QVERIFY(note.window.isShaking());

        note.clock = 1236;
        QTRY_VERIFY(!note.window.isShaking());
        QCOMPARE(note.counter()->geometry(), rest);

        // A later refusal shakes again.
        note.clock = 5000;
        QTest::keyClick(note.text(), Qt::Key_D);
        QVERIFY(note.window.isShaking());
        note.clock = 5020;
        QTRY_COMPARE(note.counter()->x(), rest.x() + 4);
    }

    void shakeKeepsARescaledCounter()
    {
        struct ScalableNote : UiNoteWindowAdvanced {
            using UiFreeWindow::applyScale;
        };
        qint64 clock = 0;
        ScalableNote note;
        note.setClock([&clock] { return clock; });
        note.applyScale(0, 1.5f); // moved onto a screen of 144 DPI after the build
        auto *counter = note.findWidget<QLabel>("CharacterCounter");
        const QRect rest = counter->geometry();
        QCOMPARE(rest, QRect(354, 384, 126, 30));

        auto *text = note.findWidget<QTextEdit>("MainText");
        text->setPlainText(a(102));
        QTest::keyClick(text, Qt::Key_B);
        QVERIFY(note.isShaking());
        clock = 20;
        QTRY_COMPARE(counter->geometry(), rest.translated(4, 0));
        clock = 300;
        QTRY_VERIFY(!note.isShaking());
        QCOMPARE(counter->geometry(), rest);
    }

    void closing()
    {
        Note note;
        QSignalSpy closed(&note.window, &UiNoteWindowAdvanced::closed);
        note.window.show();
        QTest::keyClicks(note.text(), "Not for the room");
        note.click("CloseButton");
        QCOMPARE(closed.count(), 1);
        QVERIFY(!note.window.isVisible());
        QVERIFY(!note.window.isValidated()); // nothing is sent

        note.window.reset(false);
        note.window.show();
        note.click("ValidButton");
        QCOMPARE(closed.count(), 2);
        QVERIFY(!note.window.isVisible());
        QVERIFY(!note.window.isValidated()); // an empty note is not sent

        note.window.reset(false);
        note.window.show();
        QTest::keyClicks(note.text(), "Coffee");
        note.click("ValidButton");
        QCOMPARE(closed.count(), 3);
        QVERIFY(note.window.isValidated());
        QCOMPARE(note.window.composedNote(), QString("#color=4\n#tag=0\nCoffee"));
    }

    void resetKeepsOrDropsTheColour()
    {
        Note note;
        note.click("ButtonColorRed");
        note.click("TagButton");
        note.click("ButtonTagQuestion");
        QTest::keyClicks(note.text(), "first");

        note.window.reset(false);
        QCOMPARE(note.window.colorName(), QString("RED"));
        QCOMPARE(note.window.tagName(), QString());
        QCOMPARE(note.text()->toPlainText(), QString());
        QCOMPARE(note.counter()->text(), QString("102"));
        QVERIFY(note.showsSecondImage("ColorButton"));
        QVERIFY(!note.button("ButtonColorRed")->isHidden());
        QVERIFY(note.button("ButtonTagQuestion")->isHidden());
        QCOMPARE(backgroundOf(note), rendered(":/MainWidget/Advanced/note_back_red.svg", note.window));
        QCOMPARE(note.window.composedNote(), QString("#color=2\n#tag=0\n"));
        QVERIFY(!note.window.isValidated());

        // The limit counts from the new empty text.
        setText(note, a(82), -1);
        QTest::keyClick(note.text(), Qt::Key_Return);
        QCOMPARE(note.counter()->text(), QString("0"));

        note.click("ButtonColorGray");
        note.window.reset(true);
        QCOMPARE(note.window.colorName(), QString("YELLOW"));
        QCOMPARE(note.text()->textColor(), QColor(Qt::white));
        QCOMPARE(note.counter()->styleSheet(), QString("color: white"));
        QCOMPARE(backgroundOf(note), rendered(":/MainWidget/Advanced/note_back_yellow.svg", note.window));
        QTest::keyClicks(note.text(), "x");
        QCOMPARE(note.textColors(), QSet<QString>{"#ffffff"});
    }

    void visibilityOfTheRows()
    {
        Note note;
        note.window.setVisibleColorButton(false);
        for (const char *name : {"ButtonColorYellow", "ButtonColorGray"})
            QVERIFY(note.button(name)->isHidden());
        note.window.setVisibleTagButton(true);
        for (const char *name : {"ButtonTagStar", "ButtonTagForbidden"})
            QVERIFY(!note.button(name)->isHidden());
    }
};

QTEST_MAIN(TestUiNoteWindow)
#include "tst_uinotewindow.moc"
