// SPDX-License-Identifier: GPL-2.0-or-later
// The widget factory on its own: the kind built for each type name, where it
// is placed, fonts and their bound, label texts through the free window's
// catalogue context, buttons wired to their window's slots, and rescaling.
#include "uiconfigbutton.h"
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "uifreewindow.h"
#include "widgetfactory.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPointer>
#include <QTextEdit>
#include <QTranslator>
#include <QtTest>

namespace {

WidgetDescription record(const char *pType, int pX = 0, int pY = 0, int pWidth = 0, int pHeight = 0)
{
    WidgetDescription description;
    description.type = QLatin1String(pType);
    description.x = pX;
    description.y = pY;
    description.width = pWidth;
    description.height = pHeight;
    return description;
}

// Marks every text it is asked for, so a lookup under a wrong context shows.
class MarkingTranslator : public QTranslator {
public:
    QString translate(const char *pContext, const char *pSource, const char *, int) const override
    {
        return QLatin1String(pContext) == QLatin1String("UiFreeWindow") ? QLatin1String("<") + pSource + '>'
                                                                        : QString();
    }
    bool isEmpty() const override { return false; }
};

// Builds pDescription in pWindow while every text translates to a marked one.
QWidget *createTranslated(UiFreeWindow &pWindow, const WidgetDescription &pDescription)
{
    MarkingTranslator translator;
    if (!QCoreApplication::installTranslator(&translator))
        return nullptr;
    QWidget *widget = WidgetFactory(&pWindow).create(pDescription, &pWindow);
    QCoreApplication::removeTranslator(&translator);
    return widget;
}

} // namespace

class SlotWindow : public UiFreeWindow {
    Q_OBJECT
public:
    int pings = 0;
public slots:
    void stlPing() { ++pings; }
};

class TestWidgetFactory : public QObject {
    Q_OBJECT

private slots:
    void topLevelLabelIsTheCentralWidget()
    {
        UiFreeWindow window;
        const WidgetFactory factory(&window);
        const QPointer<QWidget> first = factory.create(record("QLabel", 0, 0, 200, 100), &window);
        QCOMPARE(window.centralWidget(), first.data());
        const QPointer<QWidget> second = factory.create(record("QLabel", 0, 0, 300, 100), &window);
        QCOMPARE(window.centralWidget(), second.data());
        QTRY_VERIFY(!first); // the earlier one is disposed of
        // Only labels stand in for the window's background.
        QWidget *edit = factory.create(record("QLineEdit", 0, 0, 10, 10), &window);
        QCOMPARE(edit->parentWidget(), &window);
        QCOMPARE(window.centralWidget(), second.data());
    }

    void kinds_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("className");
        const std::pair<const char *, const char *> known[] = {{"QLabel", "QLabel"},
                                                               {"UiCustomButton", "UiCustomButton"},
                                                               {"ButtonWithLabel", "UiConfigButton"},
                                                               {"QComboBox", "QComboBox"},
                                                               {"QLineEdit", "QLineEdit"},
                                                               {"QTextEdit", "QTextEdit"},
                                                               {"UiCustomLineEdit", "UiCustomLineEdit"}};
        for (const auto &[type, className] : known)
            QTest::newRow(type) << QString::fromLatin1(type) << QString::fromLatin1(className);
        QTest::newRow("unknown") << "Mystery" << QString();
        QTest::newRow("lower case") << "qlabel" << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void kinds()
    {
        QFETCH(QString, type);
        QFETCH(QString, className);
        UiFreeWindow window;
        QWidget parent(&window);
        const WidgetFactory factory(&window);
        const QPointer<QWidget> widget = factory.create(record(type.toUtf8().constData(), 3, 5, 70, 30), &parent);
        if (className.isEmpty()) {
            QVERIFY(!widget);
            QVERIFY(parent.findChildren<QWidget *>().isEmpty());
            QVERIFY(!window.centralWidget());
            return;
        }
        QVERIFY(widget);
        QCOMPARE(widget->metaObject()->className(), qPrintable(className));
        QCOMPARE(widget->parentWidget(), &parent);
        QCOMPARE(widget->geometry(), QRect(3, 5, 70, 30));
        QVERIFY(widget->objectName().isEmpty()); // the window names it
        QVERIFY(!window.centralWidget());
    }

    void fontSizes_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("expected"); // -1: the inherited size
        for (const char *type : {"QLabel", "QLineEdit", "ButtonWithLabel"}) {
            QTest::addRow("%s unset", type) << type << 0 << -1;
            QTest::addRow("%s negative", type) << type << -4 << -1;
            QTest::addRow("%s 18", type) << type << 18 << 18;
            QTest::addRow("%s at the bound", type)
                << type << WidgetFactory::kMaxPixelSize << WidgetFactory::kMaxPixelSize;
            QTest::addRow("%s above the bound", type) << type << 5000000 << WidgetFactory::kMaxPixelSize;
        }
    }
    void fontSizes()
    {
        QFETCH(QString, type);
        QFETCH(int, size);
        QFETCH(int, expected);
        UiFreeWindow window;
        QWidget parent(&window);
        QFont inherited = parent.font();
        inherited.setPixelSize(11);
        parent.setFont(inherited);
        WidgetDescription description = record(type.toUtf8().constData(), 0, 0, 50, 20);
        description.fontSize = size;
        if (size > WidgetFactory::kMaxPixelSize)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("font size 5000000 of .* limited to 1024"));
        QWidget *widget = WidgetFactory(&window).create(description, &parent);
        QVERIFY(widget);
        QCOMPARE(widget->font().pixelSize(), expected < 0 ? 11 : expected);
    }

    void labelPresentation_data()
    {
        QTest::addColumn<QString>("alignment");
        QTest::addColumn<int>("expected");
        QTest::newRow("left") << "Left" << int(Qt::AlignLeft);
        QTest::newRow("center") << "Center" << int(Qt::AlignCenter);
        QTest::newRow("right") << "Right" << int(Qt::AlignRight);
        QTest::newRow("unknown keeps Qt's") << "Top" << int(Qt::AlignLeft | Qt::AlignVCenter);
    }
    void labelPresentation()
    {
        QFETCH(QString, alignment);
        QFETCH(int, expected);
        UiFreeWindow window;
        WidgetDescription description = record("QLabel", 0, 0, 40, 20);
        description.fontColor = QStringLiteral("white");
        description.alignment = alignment;
        auto *label = qobject_cast<QLabel *>(WidgetFactory(&window).create(description, &window));
        QVERIFY(label);
        QCOMPARE(label->styleSheet(), QStringLiteral("QLabel { color : white  }"));
        QCOMPARE(int(label->alignment()), expected);
        QVERIFY(label->hasScaledContents());
    }

    // The catalogues hold the description's texts under the free window's
    // name, whichever window subclass builds them.
    void textsAreTranslated()
    {
        SlotWindow window;
        WidgetDescription labelRecord = record("QLabel", 0, 0, 40, 20);
        labelRecord.text = QStringLiteral("Quit");
        WidgetDescription buttonRecord = record("ButtonWithLabel", 0, 0, 200, 60);
        buttonRecord.titleText = QStringLiteral("Title");
        buttonRecord.descriptionText = QStringLiteral("Words");
        buttonRecord.enable = false;
        auto *label = qobject_cast<QLabel *>(createTranslated(window, labelRecord));
        auto *button = qobject_cast<UiConfigButton *>(createTranslated(window, buttonRecord));
        QVERIFY(label && button);
        QCOMPARE(label->text(), QStringLiteral("<Quit>"));
        QCOMPARE(button->title(), QStringLiteral("<Title>"));
        QCOMPARE(button->description(), QStringLiteral("<Words>"));
        QVERIFY(!button->isClickable());
    }

    void buttonsReachTheirWindowsSlot_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("slot");
        QTest::addColumn<int>("pings");
        for (const char *type : {"UiCustomButton", "ButtonWithLabel"}) {
            QTest::addRow("%s", type) << type << "stlPing()" << 1;
            QTest::addRow("%s unnormalised", type) << type << " stlPing( ) " << 1;
            QTest::addRow("%s missing slot", type) << type << "stlNothing()" << 0;
            QTest::addRow("%s no slot", type) << type << QString() << 0;
        }
    }
    void buttonsReachTheirWindowsSlot()
    {
        QFETCH(QString, type);
        QFETCH(QString, slot);
        QFETCH(int, pings);
        SlotWindow window;
        window.setWindowName("Pinged");
        WidgetDescription description = record(type.toUtf8().constData(), 0, 0, 40, 40);
        description.slot = slot;
        if (slot.contains(QLatin1String("Nothing")))
            QTest::ignoreMessage(QtWarningMsg,
                                 "window \"Pinged\" has no slot \"stlNothing()\" ; the button stays unconnected");
        QWidget *widget = WidgetFactory(&window).create(description, &window);
        if (auto *button = qobject_cast<UiCustomButton *>(widget))
            button->emitClicked();
        else if (auto *configButton = qobject_cast<UiConfigButton *>(widget))
            configButton->emitClicked();
        else
            QFAIL("not a button");
        QCOMPARE(window.pings, pings);
    }

    void customButtonTakesTheRecord()
    {
        UiFreeWindow window;
        WidgetDescription description = record("UiCustomButton", 10, 20, 40, 30);
        description.text = QStringLiteral("Go");
        description.fontSize = 17;
        description.toolTipText = QStringLiteral("tip");
        auto *button = qobject_cast<UiCustomButton *>(WidgetFactory(&window).create(description, &window));
        QVERIFY(button);
        QCOMPARE(button->buttonText(), QStringLiteral("Go"));
        QCOMPARE(button->geometry(), QRect(10, 20, 40, 30));
        QCOMPARE(button->textLabel()->alignment(), Qt::AlignCenter);
    }

    void rescale()
    {
        UiFreeWindow window;
        WidgetDescription description = record("ButtonWithLabel", 10, 10, 100, 50);
        description.titleMarginLeft = 4;
        description.fontSize = 12;
        auto *button = qobject_cast<UiConfigButton *>(WidgetFactory(&window).create(description, &window));
        QVERIFY(button);
        const WidgetDescription larger = UiFreeWindow::scaledDescription(description, 2.0f);
        WidgetFactory::rescale(button, larger);
        QCOMPARE(button->geometry(), QRect(20, 20, 200, 100));
        QCOMPARE(button->font().pixelSize(), 24);
        QCOMPARE(button->titleLabel()->x(), 8);

        WidgetDescription movieRecord = record("QLabel", 0, 0, 30, 30);
        movieRecord.movie = QStringLiteral("missing.gif");
        QTest::ignoreMessage(QtWarningMsg, "cannot load the animation \"missing.gif\"");
        auto *label = qobject_cast<QLabel *>(WidgetFactory(&window).create(movieRecord, &window));
        QVERIFY(label && label->movie());
        QCOMPARE(label->movie()->scaledSize(), QSize(30, 30));
        WidgetFactory::rescale(label, UiFreeWindow::scaledDescription(movieRecord, 1.5f));
        QCOMPARE(label->movie()->scaledSize(), QSize(45, 45));
        QCOMPARE(label->geometry(), QRect(0, 0, 45, 45));
    }
};

QTEST_MAIN(TestWidgetFactory)
#include "tst_widgetfactory.moc"
