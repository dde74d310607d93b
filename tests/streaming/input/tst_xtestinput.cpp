// SPDX-License-Identifier: GPL-2.0-or-later
// Remote mouse and keyboard through the XTest backend, on a private Xvfb:
// the pointer lands where the receiver pointed and keys reach the focused
// window, characters without a key through a borrowed keycode.
#include "../../support/randrmonitor.h"
#include "input/mousekeyboard.h"
#include "inputpayloads.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace inputpayloads;

class ClickTarget : public QWidget {
public:
    using QWidget::QWidget;
    QList<QPoint> presses;
    QList<QPoint> releases;

protected:
    void mousePressEvent(QMouseEvent *pEvent) override { presses << pEvent->globalPos(); }
    void mouseReleaseEvent(QMouseEvent *pEvent) override { releases << pEvent->globalPos(); }
};

// Through popen rather than QProcess: QProcess's metatype lookups race with
// Qt's own D-Bus thread in ways ThreadSanitizer cannot see through.
QPoint pointerFromXdotool()
{
    QPoint point(-1, -1);
    FILE *pipe = popen("xdotool getmouselocation --shell", "r");
    if (!pipe)
        return point;
    char line[128];
    while (std::fgets(line, sizeof line, pipe)) {
        if (std::strncmp(line, "X=", 2) == 0)
            point.setX(std::atoi(line + 2));
        if (std::strncmp(line, "Y=", 2) == 0)
            point.setY(std::atoi(line + 2));
    }
    pclose(pipe);
    return point;
}

} // namespace

class TestXTestInput : public QObject {
    Q_OBJECT

private slots:
    void absoluteClickAtTheCentreOfTheStreamedScreen()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        const QRect geometry = screen->geometry();
        const QPoint centre(geometry.x() + geometry.width() / 2, geometry.y() + geometry.height() / 2);
        ClickTarget target(nullptr);
        target.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        target.setGeometry(QRect(centre - QPoint(50, 50), QSize(100, 100)));
        target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&target));

        MouseKeyboard injector;
        injector.setTargetScreen(screen->name());
        injector.injectMouseEvent(mousePayload(false, 3, 0.5f, 0.5f, 2, 0), false);
        injector.injectMouseEvent(mousePayload(false, 3, 0.5f, 0.5f, 0, 0), false);
        injector.injectMouseEvent(mousePayload(false, 3, 0.5f, 0.5f, 1, 0), false);
        QTRY_COMPARE_WITH_TIMEOUT(target.releases.size(), 1, 10000);
        QCOMPARE(target.presses.size(), 1);
        QCOMPARE(target.presses.first(), centre);
        QCOMPARE(pointerFromXdotool(), centre);

        // A move of another pointer while none is pressed goes nowhere; a
        // relative move always goes, from where the click left the pointer.
        injector.injectMouseEvent(mousePayload(false, 4, 0.1f, 0.1f, 0, 0), false);
        injector.injectMouseEvent(mousePayload(true, 4, 10, -5, 0, 0), true);
        QTRY_COMPARE_WITH_TIMEOUT(pointerFromXdotool(), centre + QPoint(10, -5), 10000);
    }

    void absoluteMoveOnAMonitorQtDoesNotList()
    {
        // The right half of the screen as a RandR monitor of its own.
        QVERIFY(RandrMonitor::set("RIGHT", 683, 0, 683, 768));
        MouseKeyboard injector;
        injector.setTargetScreen("RIGHT");
        injector.injectMouseEvent(mousePayload(false, 5, 0.5f, 0.5f, 2, 0), false);
        injector.injectMouseEvent(mousePayload(false, 5, 0.5f, 0.5f, 1, 0), false);
        QTRY_COMPARE_WITH_TIMEOUT(pointerFromXdotool(), QPoint(683 + 341, 384), 10000);
        RandrMonitor::remove("RIGHT");
    }

    void keysTypeIntoTheFocusedWindow()
    {
        QWidget window;
        window.setWindowFlags(Qt::FramelessWindowHint);
        auto *layout = new QVBoxLayout(&window);
        auto *edit = new QLineEdit(&window);
        layout->addWidget(edit);
        window.setGeometry(100, 100, 300, 60);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window, 10000));
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());

        MouseKeyboard injector;
        auto key = [&](quint16 pVk, quint16 pScan) {
            injector.injectKeyboardEvent(keyPayload(0, pVk, pScan));
            injector.injectKeyboardEvent(keyPayload(1, pVk, pScan));
        };
        // Keys nothing maps to, and a lone surrogate: dropped, never fatal.
        key(0xFF, 0xE0FF);
        key(0x07, 0x00FF);
        key(0, 0xD800);
        key(0x41, 0x1E); // 'a' by scan code
        key(0x42, 0x30); // 'b'
        QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QString("ab"), 10000);
        key(0x25, 0x25); // Left arrow as an extended virtual key
        key(0, 0x00E9);  // é through the Unicode path
        QTRY_COMPARE_WITH_TIMEOUT(edit->text(),
                                  QString::fromUtf8("a\xC3\xA9"
                                                    "b"),
                                  10000);
        // Shift held by scan code, then 'c': a capital.
        injector.injectKeyboardEvent(keyPayload(0, 0x10, 0x2A));
        key(0x43, 0x2E);
        injector.injectKeyboardEvent(keyPayload(1, 0x10, 0x2A));
        key(0, 0x20AC); // €, no key on the US map
        QTRY_COMPARE_WITH_TIMEOUT(edit->text(),
                                  QString::fromUtf8("a\xC3\xA9"
                                                    "C\xE2\x82\xAC"
                                                    "b"),
                                  10000);
    }
};

QTEST_MAIN(TestXTestInput)
#include "tst_xtestinput.moc"
