// SPDX-License-Identifier: GPL-2.0-or-later
// The free window: construction, the widget factory, hooks, rebuilding,
// scaling for the screen, dragging and keys. Runs with a logical DPI of 120
// (QT_FONT_DPI), so the single offscreen screen scales by 1.25; moves onto
// screens of other DPI go through applyScale, the step adaptToScreen takes.
#include "uiconfigbutton.h"
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "uifreewindow.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char kDocument[] = R"json({
  "styles": [ { "Name": "cb", "TitleMarginLeft": 40, "DescriptionMarginTop": 20 } ],
  "windows": [
    { "WindowsName": "A", "Size": "500, 252", "children": [
      { "Name": "Background", "Type": "QLabel", "Geometry": "0, 0, 500, 252", "BackgroundImage": "box.svg",
        "children": [
        { "Name": "Small", "Type": "QLabel", "Geometry": "10, 10, 32, 32", "FontSize": 14, "Text": "Hi",
          "Fontcolor": "white", "Alignment": "Center" },
        { "Name": "Button", "Type": "UiCustomButton", "Geometry": "100, 100, 40, 40", "Slot": "stlPing( )",
          "Text": "Go", "FontSize": 14, "Fontcolor": "red", "BackgroundImage": "box.svg",
          "BackgroundImage2": "two.svg" },
        { "Name": "BadSlot", "Type": "UiCustomButton", "Geometry": "150, 100, 40, 40", "Slot": "nothing()" },
        { "Name": "Unknown", "Type": "Mystery", "children": [ { "Name": "Orphan", "Type": "QLabel" } ] },
        { "Name": "Custom", "Type": "Custom", "Geometry": "8, 16, 24, 32" },
        { "Name": "Dup", "Type": "QLabel" },
        { "Name": "Dup", "Type": "QLineEdit", "Geometry": "0, 200, 100, 20" },
        { "Name": "Edit", "Type": "UiCustomLineEdit", "Geometry": "0, 220, 100, 20", "FontSize": 16,
          "StyleSheet": "QLineEdit { border: 0px; }" },
        { "Name": "Config", "Type": "ButtonWithLabel", "Geometry": "200, 150, 200, 60", "Style": "cb",
          "TitleText": "T", "DescriptionText": "D", "Enable": "false" }
      ] } ] },
    { "WindowsName": "B", "Size": "200, 100", "children": [
      { "Name": "OtherBackground", "Type": "QLabel", "Geometry": "0, 0, 200, 100" } ] }
  ] })json";

// Not a raw string: moc would read the "//" of the namespace as a comment.
const char kSvg[] = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\" viewBox=\"0 0 10 10\">\n"
                    "<rect width=\"10\" height=\"10\" fill=\"#ff0000\"/></svg>";

} // namespace

class TestWindow : public UiFreeWindow {
    Q_OBJECT
public:
    using UiFreeWindow::applyScale;
    int builds = 0;
    int pings = 0;
    float factorWhileBuilding = -1.0f;

public slots:
    void stlPing() { ++pings; }

protected:
    QWidget *createCustomWidget(const WidgetDescription &pDescription, QWidget *pParent) override
    {
        if (pDescription.type != QLatin1String("Custom"))
            return nullptr;
        auto *label = new QLabel(pParent);
        label->setGeometry(pDescription.x, pDescription.y, pDescription.width, pDescription.height);
        return label;
    }
    void onWindowBuilt() override
    {
        ++builds;
        factorWhileBuilding = scaleFactor();
    }
};

class TestUiFreeWindow : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_previousDir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("Resources")));
        QFile doc(m_dir.filePath(QStringLiteral("Resources/windows.json")));
        QVERIFY(doc.open(QIODevice::WriteOnly));
        doc.write(kDocument);
        doc.close();
        QFile svg(m_dir.filePath(QStringLiteral("box.svg")));
        QVERIFY(svg.open(QIODevice::WriteOnly));
        svg.write(kSvg);
        svg.close();
        m_previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path())); // the working directory's description wins
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 120.0);
    }
    void cleanupTestCase() { QDir::setCurrent(m_previousDir); }

    void construction()
    {
        TestWindow window;
        QCOMPARE(int(window.windowFlags()), 0x903);
        QVERIFY(window.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(window.acceptDrops());
        const QFont font = QApplication::font();
        QCOMPARE(font.family(), QStringLiteral("Muli"));
        QCOMPARE(font.pixelSize(), 14);
        QCOMPARE(font.weight(), 50);
        QCOMPARE(font.style(), QFont::StyleNormal);
        QCOMPARE(window.scaleFactor(), 1.0f);
    }

    void factoryAndHooks()
    {
        TestWindow window;
        window.setWindowName("A");
        window.buildWindow();
        QCOMPARE(window.builds, 1);
        QCOMPARE(window.factorWhileBuilding, 1.25f); // the largest screen factor
        QCOMPARE(window.scaleFactor(), 0.0f);        // the next move scales for the screen
        QCOMPARE(window.size(), QSize(500, 252));    // unscaled until then

        auto *background = window.findWidget<QLabel>("Background");
        QVERIFY(background);
        QCOMPARE(window.centralWidget(), background);
        QVERIFY(background->hasScaledContents());
        QCOMPARE(background->pixmap(Qt::ReturnByValue).size(), QSize(625, 315)); // vector art drawn at the scaled size
        QCOMPARE(background->pixmap(Qt::ReturnByValue).toImage().pixelColor(300, 150), QColor(255, 0, 0));

        auto *small = window.findWidget<QLabel>("Small");
        QVERIFY(small);
        QCOMPARE(small->parentWidget(), background);
        QCOMPARE(small->geometry(), QRect(12, 12, 40, 40));
        QCOMPARE(small->font().pixelSize(), 17);
        QCOMPARE(small->text(), QStringLiteral("Hi"));
        QCOMPARE(small->styleSheet(), QStringLiteral("QLabel { color : white  }"));
        QCOMPARE(small->alignment(), Qt::AlignCenter);

        auto *button = window.findWidget<UiCustomButton>("Button");
        QVERIFY(button);
        QCOMPARE(button->buttonText(), QStringLiteral("Go"));
        QCOMPARE(button->textLabel()->font().pixelSize(), 17);
        QCOMPARE(button->textLabel()->geometry(), QRect(0, 0, 50, 50));
        QCOMPARE(button->textLabel()->styleSheet(), QStringLiteral("border:0px;color : red;"));
        QCOMPARE(button->textLabel()->alignment(), Qt::AlignCenter);
        QCOMPARE(button->currentImage(), QStringLiteral("box.svg"));
        QCOMPARE(button->backgroundImage2(), QStringLiteral("two.svg"));
        button->emitClicked();
        QCOMPARE(window.pings, 1); // "stlPing( )" found by its normalized signature

        auto *badSlot = window.findWidget<UiCustomButton>("BadSlot");
        QVERIFY(badSlot);
        badSlot->emitClicked(); // unconnected, nothing happens

        QVERIFY(!window.findWidget("Unknown"));
        QVERIFY(!window.findWidget("Orphan")); // children of a kind nobody makes are skipped

        QWidget *custom = window.findWidget("Custom");
        QVERIFY(custom);
        QCOMPARE(custom->geometry(), QRect(10, 20, 30, 40)); // the hook gets the scaled record
        QCOMPARE(custom->objectName(), QStringLiteral("Custom"));

        QVERIFY(window.findWidget<QLineEdit>("Dup")); // the last of a name is found

        auto *edit = window.findWidget<UiCustomLineEdit>("Edit");
        QVERIFY(edit);
        QCOMPARE(edit->styleSheet(), QStringLiteral("QLineEdit { border: 0px; }"));
        QCOMPARE(edit->font().pixelSize(), 20);

        auto *config = window.findWidget<UiConfigButton>("Config");
        QVERIFY(config);
        QVERIFY(!config->isClickable());
        QCOMPARE(config->titleLabel()->geometry().x(), 50);
        QCOMPARE(config->descriptionLabel()->geometry().y(), 25);
        QCOMPARE(config->title(), QStringLiteral("T"));
    }

    void showingScalesForTheScreen()
    {
        TestWindow window;
        window.setWindowName("A");
        window.buildWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(window.scaleFactor(), 1.25f);
        QCOMPARE(window.size(), QSize(625, 315));
        QCOMPARE(window.findWidget("Small")->geometry(), QRect(12, 12, 40, 40));
        QCOMPARE(window.findWidget("Small")->font().pixelSize(), 17);
    }

    void movingOntoAnotherScreen_data()
    {
        QTest::addColumn<qreal>("dpi");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("small");
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<int>("titleMargin");
        QTest::newRow("96") << 96.0 << QSize(500, 252) << QRect(10, 10, 32, 32) << 14 << 40;
        QTest::newRow("120") << 120.0 << QSize(625, 315) << QRect(12, 12, 40, 40) << 17 << 50;
        QTest::newRow("144") << 144.0 << QSize(750, 378) << QRect(15, 15, 48, 48) << 21 << 60;
    }
    void movingOntoAnotherScreen()
    {
        QFETCH(qreal, dpi);
        QFETCH(QSize, size);
        QFETCH(QRect, small);
        QFETCH(int, fontSize);
        QFETCH(int, titleMargin);
        TestWindow window;
        window.setWindowName("A");
        window.buildWindow();
        window.applyScale(1, UiFreeWindow::factorForDpi(dpi));
        QCOMPARE(window.currentScreen(), 1);
        QCOMPARE(window.size(), size);
        QCOMPARE(window.findWidget("Small")->geometry(), small);
        QCOMPARE(window.findWidget("Small")->font().pixelSize(), fontSize);
        auto *button = window.findWidget<UiCustomButton>("Button");
        QCOMPARE(button->textLabel()->geometry(), QRect(QPoint(0, 0), button->size()));
        QCOMPARE(window.findWidget<UiConfigButton>("Config")->titleLabel()->x(), titleMargin);
    }

    void rescaleDecision_data()
    {
        QTest::addColumn<QList<int>>("corners");
        QTest::addColumn<int>("current");
        QTest::addColumn<float>("factor");
        QTest::addColumn<bool>("rescale");
        QTest::newRow("same screen") << QList<int>{0, 0, 0, 0} << 0 << 1.0f << false;
        QTest::newRow("wholly on another") << QList<int>{1, 1, 1, 1} << 0 << 1.0f << true;
        QTest::newRow("straddling") << QList<int>{0, 1, 0, 1} << 0 << 1.25f << false;
        QTest::newRow("straddling, one corner") << QList<int>{1, 1, 1, 0} << 0 << 1.25f << false;
        QTest::newRow("just built") << QList<int>{0, 0, 0, 0} << 0 << 0.0f << true;
        QTest::newRow("just built, straddling") << QList<int>{0, 1, 0, 1} << 0 << 0.0f << true;
    }
    void rescaleDecision()
    {
        QFETCH(QList<int>, corners);
        QFETCH(int, current);
        QFETCH(float, factor);
        QFETCH(bool, rescale);
        QCOMPARE(UiFreeWindow::needsRescale({corners[0], corners[1], corners[2], corners[3]}, current, factor),
                 rescale);
    }

    void rebuildingUnderAnotherName()
    {
        TestWindow window;
        window.setWindowName("A");
        window.buildWindow();
        QPointer<QWidget> oldBackground = window.findWidget("Background");
        QPointer<QWidget> oldButton = window.findWidget("Button");
        window.setWindowName("B");
        window.buildWindow();
        QCOMPARE(window.builds, 2);
        QVERIFY(!window.findWidget("Background"));
        QVERIFY(!window.findWidget("Button"));
        QVERIFY(window.findWidget("OtherBackground"));
        QCOMPARE(window.centralWidget(), window.findWidget("OtherBackground"));
        QCOMPARE(window.size(), QSize(200, 100));
        QTRY_VERIFY(oldBackground.isNull());
        QVERIFY(oldButton.isNull());
    }

    void missingDescription()
    {
        TestWindow window;
        window.setWindowName("A");
        window.buildWindow();
        QPointer<QWidget> oldBackground = window.findWidget("Background");
        window.setWindowName("Nowhere");
        window.buildWindow();
        QCOMPARE(window.size(), QSize(0, 0));
        QVERIFY(!window.findWidget("Background"));
        QVERIFY(!window.centralWidget());
        QTRY_VERIFY(oldBackground.isNull());
        QCOMPARE(window.builds, 2);
    }

    void keysAreDiscarded()
    {
        TestWindow window;
        window.setWindowName("B");
        window.buildWindow();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&window, &escape);
        QVERIFY(escape.isAccepted());
        QVERIFY(window.isVisible());
    }

    void draggingByTheBackground()
    {
        TestWindow window;
        window.setWindowName("B");
        window.buildWindow();
        window.move(40, 30);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(window.pos(), QPoint(40, 30));
        const QPoint start = window.pos();
        auto send = [&](QEvent::Type pType, const QPoint &pGlobal) {
            QMouseEvent event(pType, window.mapFromGlobal(pGlobal), pGlobal, Qt::LeftButton,
                              pType == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&window, &event);
        };
        const QPoint grip = window.mapToGlobal(QPoint(20, 20));
        send(QEvent::MouseButtonPress, grip);
        send(QEvent::MouseMove, grip + QPoint(15, 5));
        QTRY_COMPARE(window.pos(), start + QPoint(15, 5));
        send(QEvent::MouseMove, grip + QPoint(30, 12));
        QTRY_COMPARE(window.pos(), start + QPoint(30, 12));
        send(QEvent::MouseButtonRelease, grip + QPoint(30, 12));
        send(QEvent::MouseMove, grip + QPoint(60, 60)); // no longer dragging
        QCOMPARE(window.pos(), start + QPoint(30, 12));
    }
};

QTEST_MAIN(TestUiFreeWindow)
#include "tst_uifreewindow.moc"
