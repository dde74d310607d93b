// SPDX-License-Identifier: GPL-2.0-or-later
// Shows the note composer (a blue note with a star in its tag row, a gray
// one in its colour row and then with a check) and the web link window with its error label on the
// test's X server, and saves what the screen shows under
// $VELMORANT_BUILD_DIR/test-artefacts/windows/.
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "uinotewindowadvanced.h"
#include "uiwebwindowadvanced.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTranslator>
#include <QtTest>

using Velmorant::Advanced::UiNoteWindowAdvanced;
using Velmorant::Advanced::UiWebWindowAdvanced;

class TestWindowsScreenshots : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static void click(UiFreeWindow &pWindow, const char *pName)
    {
        auto *button = pWindow.findWidget<UiCustomButton>(pName);
        QVERIFY2(button, pName);
        button->emitClicked();
    }

    // What the X server shows where the window stands.
    static void save(QWidget &pWindow, const QString &pName)
    {
        QVERIFY(QTest::qWaitForWindowExposed(&pWindow));
        QCoreApplication::processEvents();
        const QString folder =
            qEnvironmentVariable("VELMORANT_BUILD_DIR", QDir::tempPath()) + "/test-artefacts/windows";
        QVERIFY(QDir().mkpath(folder));
        const QRect frame = pWindow.frameGeometry();
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, frame.x() - 8, frame.y() - 8,
                                                                          frame.width() + 16, frame.height() + 16);
        QVERIFY(!shot.isNull());
        // Not all of one colour: the window was drawn.
        const QImage image = shot.toImage();
        QVERIFY(image.pixel(8 + frame.width() / 2, 8 + frame.height() / 2) != image.pixel(2, 2) ||
                image.pixel(8 + frame.width() / 3, 8 + 20) != image.pixel(2, 2));
        const QString file = folder + "/" + pName + ".png";
        QVERIFY2(shot.save(file), qPrintable(file));
        qInfo("screenshot %s", qPrintable(file));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QFontDatabase::addApplicationFont(":/MainWidget/Muli-Regular.ttf");
    }

    void noteWindows()
    {
        UiNoteWindowAdvanced note;
        note.reset(false);
        note.move(40, 40);
        note.show();
        click(note, "ButtonColorBlue");
        click(note, "TagButton");
        click(note, "ButtonTagStar");
        auto *text = note.findWidget<QTextEdit>("MainText");
        QVERIFY(text);
        QTest::keyClicks(text, "Coffee at ten");
        QTest::keyClick(text, Qt::Key_Return);
        QTest::keyClicks(text, "in the blue room");
        save(note, "note-blue-star-tags");

        click(note, "ColorButton");
        click(note, "ButtonColorGray");
        save(note, "note-gray-colours");
        click(note, "TagButton");
        click(note, "ButtonTagCheck");
        save(note, "note-gray-check-tags");
    }

    void webWindow_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("fr") << "fr";
        QTest::newRow("en") << "en";
    }
    void webWindow()
    {
        QFETCH(QString, language);
        QTranslator translator;
        QVERIFY(translator.load(qEnvironmentVariable("VELMORANT_BUILD_DIR") + "/bin/languages/velmorantclient_" +
                                language + ".qm"));
        QCoreApplication::installTranslator(&translator);
        UiWebWindowAdvanced web;
        web.reset();
        web.move(40, 40);
        web.show();
        save(web, "web-placeholder-" + language);
        // As typed by the user: the box has the focus and its dark text.
        QApplication::setActiveWindow(&web);
        auto *box = web.findWidget<UiCustomLineEdit>("UrlText");
        box->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(box->hasFocus());
        box->setText(QString::fromUtf8("https://exémple.com/page"));
        QVERIFY(web.findWidget<QLabel>("ErrorLabel")->isVisible());
        save(web, "web-error-" + language);
        QCoreApplication::removeTranslator(&translator);
    }
};

QTEST_MAIN(TestWindowsScreenshots)
#include "tst_windowsscreenshots.moc"
