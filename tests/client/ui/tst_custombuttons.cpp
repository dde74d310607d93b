// SPDX-License-Identifier: GPL-2.0-or-later
// The custom widgets: the click-or-drag rule of both buttons, images of the
// image button, and the focus signals of the line edit.
#include "uiconfigbutton.h"
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "uifreewindow.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

namespace {

// Not a raw string: moc would read the "//" of the namespace as a comment.
const char kSvg[] = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\" viewBox=\"0 0 4 4\">\n"
                    "<circle cx=\"2\" cy=\"2\" r=\"2\" fill=\"#fe4f00\"/></svg>";

// A shown free window with a plain central label to put widgets on.
struct Stage {
    UiFreeWindow window;
    QLabel *central = new QLabel;
    Stage()
    {
        window.setCentralWidget(central);
        window.setFixedSize(300, 200);
        window.move(50, 50);
        window.show();
    }
};

// Press at pLocal of pWidget, move the cursor by pDelta (when not null),
// release there. The cursor is moved too, as the buttons measure with it.
void pressMoveRelease(QWidget *pWidget, const QPoint &pLocal, const QPoint &pDelta)
{
    const QPoint start = pWidget->mapToGlobal(pLocal);
    auto send = [&](QEvent::Type pType, const QPoint &pGlobal, Qt::MouseButtons pButtons) {
        QCursor::setPos(pGlobal);
        QMouseEvent event(pType, pWidget->mapFromGlobal(pGlobal), pGlobal, Qt::LeftButton, pButtons, Qt::NoModifier);
        QApplication::sendEvent(pWidget, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    if (!pDelta.isNull())
        send(QEvent::MouseMove, start + pDelta, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + pDelta, Qt::NoButton);
}

} // namespace

class TestCustomButtons : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *name : {"dot.svg", "DOT.SVG"}) {
            QFile file(m_dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(kSvg);
        }
    }

    void clickOrDrag_data()
    {
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<int>("clicks");
        QTest::newRow("still") << QPoint(0, 0) << 1;
        QTest::newRow("6 right 3 down") << QPoint(6, 3) << 1;
        QTest::newRow("5 left 4 up") << QPoint(-5, -4) << 1;
        QTest::newRow("10 right") << QPoint(10, 0) << 0;
        QTest::newRow("7 right 3 up") << QPoint(7, -3) << 0;
        QTest::newRow("40 down") << QPoint(0, 40) << 0;
    }
    void clickOrDrag()
    {
        QFETCH(QPoint, delta);
        QFETCH(int, clicks);
        Stage stage;
        QVERIFY(QTest::qWaitForWindowExposed(&stage.window));
        QTRY_COMPARE(stage.window.pos(), QPoint(50, 50));
        auto *button = new UiCustomButton(stage.central);
        button->setWindow(&stage.window);
        button->setGeometry(100, 80, 40, 40);
        button->show();
        QSignalSpy spy(button, &UiCustomButton::clicked);

        pressMoveRelease(button, QPoint(20, 20), delta);
        QCOMPARE(spy.count(), clicks);
        QTRY_COMPARE(stage.window.pos(), QPoint(50, 50) + delta); // the press dragged the window
    }

    void configButtonClicksOnlyWhileClickable_data()
    {
        QTest::addColumn<bool>("clickable");
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<int>("clicks");
        QTest::newRow("clickable") << true << QPoint(0, 0) << 1;
        QTest::newRow("clickable, 6+3") << true << QPoint(6, 3) << 1;
        QTest::newRow("clickable, dragged") << true << QPoint(0, 10) << 0;
        QTest::newRow("not clickable") << false << QPoint(0, 0) << 0;
    }
    void configButtonClicksOnlyWhileClickable()
    {
        QFETCH(bool, clickable);
        QFETCH(QPoint, delta);
        QFETCH(int, clicks);
        Stage stage;
        QVERIFY(QTest::qWaitForWindowExposed(&stage.window));
        auto *button = new UiConfigButton(stage.central);
        button->setWindow(&stage.window);
        button->setGeometry(20, 20, 200, 60);
        button->setClickable(clickable);
        button->show();
        QSignalSpy spy(button, &UiConfigButton::clicked);
        pressMoveRelease(button, QPoint(30, 30), delta);
        QCOMPARE(spy.count(), clicks);
    }

    void configButtonLayout()
    {
        UiConfigButton button;
        button.setTitle(QStringLiteral("Title"));
        button.setDescription(QStringLiteral("Text"));
        button.setTitleMarginLeft(104);
        button.setDescriptionMarginLeft(95);
        button.setDescriptionMarginTop(35);
        button.setTitleFontColor(QStringLiteral("red"));
        button.setTitleFontSize(11);
        button.resize(300, 90);
        button.show(); // a hidden widget gets its resize event only when shown
        QCOMPARE(button.pictureLabel()->geometry(), QRect(36, 9, 72, 72));
        QCOMPARE(button.titleLabel()->geometry(), QRect(104, 0, 196, 30));
        QCOMPARE(button.descriptionLabel()->geometry(), QRect(95, 35, 205, 60));
        QCOMPARE(button.titleLabel()->styleSheet(), QStringLiteral("QLabel { color : red; background-image: none;  }"));
        QCOMPARE(button.titleLabel()->font().pointSize(), 11);
        button.setDescription(QString());
        QCOMPARE(button.titleLabel()->height(), 90);
    }

    void images()
    {
        UiCustomButton button;
        button.resize(40, 30);
        const QString first = m_dir.filePath(QStringLiteral("dot.svg"));
        const QString capitals = m_dir.filePath(QStringLiteral("DOT.SVG"));
        button.setBackgroundImage(first);
        QCOMPARE(button.currentImage(), first);
        QCOMPARE(button.pixmap(Qt::ReturnByValue).size(), QSize(40, 30));

        // Once a picture shows, a new first image is only stored.
        button.setBackgroundImage(QStringLiteral("other.svg"));
        QCOMPARE(button.backgroundImage(), QStringLiteral("other.svg"));
        QCOMPARE(button.currentImage(), first);

        // Capitals in the extension still mean vector art, drawn at the button's size.
        button.resize(64, 48);
        button.setImage(capitals);
        QCOMPARE(button.currentImage(), capitals);
        QCOMPARE(button.pixmap(Qt::ReturnByValue).size(), QSize(64, 48));
        QCOMPARE(button.pixmap(Qt::ReturnByValue).toImage().pixelColor(32, 24), QColor(254, 79, 0));
    }

    void hoverCursorAndToolTip()
    {
        Stage stage;
        QVERIFY(QTest::qWaitForWindowExposed(&stage.window));
        auto *button = new UiCustomButton(stage.central);
        button->setWindow(&stage.window);
        button->setGeometry(100, 80, 40, 40);
        button->setToolTipText(QStringLiteral("Close"));
        button->show();
        auto *plain = new UiCustomButton(stage.central);
        plain->setGeometry(10, 80, 40, 40);
        plain->setHandCursor(false);
        plain->show();
        auto *config = new UiConfigButton(stage.central);
        config->setGeometry(150, 20, 100, 40);
        config->setClickable(false);
        config->show();
        QVERIFY(!QGuiApplication::overrideCursor());

        QEvent enterPlain(QEvent::Enter), leavePlain(QEvent::Leave);
        QApplication::sendEvent(plain, &enterPlain);
        QVERIFY(!QGuiApplication::overrideCursor());
        QApplication::sendEvent(plain, &leavePlain);
        QEvent enterConfig(QEvent::Enter), leaveConfig(QEvent::Leave);
        QApplication::sendEvent(config, &enterConfig); // not clickable: no hand
        QVERIFY(!QGuiApplication::overrideCursor());
        QApplication::sendEvent(config, &leaveConfig);

        QCursor::setPos(button->mapToGlobal(QPoint(20, 20)));
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(button, &enter);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
        QVERIFY(!QToolTip::isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(QToolTip::isVisible(), 5000); // after a second of hovering
        QCOMPARE(QToolTip::text(), QStringLiteral("Close"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
        QVERIFY(!QGuiApplication::overrideCursor());
        QToolTip::hideText();
    }

    void lineEditFocus()
    {
        Stage stage;
        QVERIFY(QTest::qWaitForWindowExposed(&stage.window));
        stage.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&stage.window));
        auto *edit = new UiCustomLineEdit(stage.central);
        edit->setGeometry(10, 10, 200, 30);
        edit->setStyleSheet(QStringLiteral("QLineEdit { border: 0px; }"));
        edit->show();
        QCOMPARE(edit->focusPolicy(), Qt::ClickFocus);
        QCOMPARE(edit->cursor().shape(), Qt::IBeamCursor);
        QCOMPARE(edit->styleSheet(), QStringLiteral("QLineEdit { border: 0px; }")); // until the focus changes

        QSignalSpy spy(edit, &UiCustomLineEdit::focused);
        edit->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(edit->styleSheet(), QLatin1String(UiCustomLineEdit::kFocusedStyleSheet));

        spy.clear();
        edit->releaseFocus();
        QVERIFY(!edit->hasFocus());
        QCOMPARE(spy.count(), 2); // losing the focus, then releaseFocus itself
        QCOMPARE(spy.at(0).at(0).toBool(), false);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
        QCOMPARE(edit->styleSheet(), QLatin1String(UiCustomLineEdit::kUnfocusedStyleSheet));
    }
};

QTEST_MAIN(TestCustomButtons)
#include "tst_custombuttons.moc"
