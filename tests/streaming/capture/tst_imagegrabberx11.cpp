// SPDX-License-Identifier: GPL-2.0-or-later
// The X11 grabber against a private 1366x768 Xvfb: sizes, pixel layout,
// RandR monitors, count changes and the placeholder after a resize.
#include "../../support/randrmonitor.h"
#include "capture/imagegrabberdesktop.h"
#include "capture/imagegrabberfactory.h"
#include "capture/imagegrabberqt.h"
#include "imagewaiter.h"

#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <cstdlib>
#include <cstring>

namespace {

// Four solid blocks of 40x40, left to right: red, green, blue, white.
const QColor BlockColours[4] = {Qt::red, Qt::green, Qt::blue, Qt::white};

class PatternWindow : public QWidget {
public:
    PatternWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        for (int i = 0; i < 4; ++i)
            painter.fillRect(i * 40, 0, 40, 40, BlockColours[i]);
        painted = true;
    }

public:
    bool painted = false;
};

std::unique_ptr<ImageGrabber> systemGrabber()
{
    return createSystemImageGrabber();
}

} // namespace

class TestImageGrabberX11 : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        RandrMonitor::remove("LEFT");
        RandrMonitor::remove("RIGHT");
    }

    void sizesAreRoundedAndNamesMatchQt()
    {
        std::unique_ptr<ImageGrabber> owner = systemGrabber();
        ImageGrabber &grabber = *owner;
        ImageWaiter waiter(grabber);
        grabber.setScreenIndex(0);
        QCOMPARE(grabber.getScreenWidth(), 1364);
        QCOMPARE(grabber.getScreenHeight(), 768);
        // Input injection finds the streamed screen among Qt's by this name.
        QCOMPARE(grabber.getScreenName(), QGuiApplication::screens().value(0)->name());
        grabber.setScreenIndex(5);
        QCOMPARE(grabber.getScreenWidth(), 0);
        QVERIFY(grabber.getScreenName().isEmpty());
    }

    void recordsAreBgrRowsAtTheMonitorsPosition_data()
    {
        QTest::addColumn<bool>("twoMonitors");
        QTest::newRow("whole screen") << false;
        QTest::newRow("right monitor of two") << true;
    }

    void recordsAreBgrRowsAtTheMonitorsPosition()
    {
        QFETCH(bool, twoMonitors);
        int monitorX = 0;
        int expectedWidth = 1364;
        if (twoMonitors) {
            QVERIFY(RandrMonitor::set("LEFT", 0, 0, 683, 768));
            QVERIFY(RandrMonitor::set("RIGHT", 683, 0, 683, 768));
            monitorX = 683;
            expectedWidth = 680;
        }
        PatternWindow window;
        window.setGeometry(monitorX + 101, 57, 160, 40);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.painted, 10000);
        QCursor::setPos(monitorX + 101 + 20, 57 + 20); // over the red block: never drawn

        std::unique_ptr<ImageGrabber> owner = systemGrabber();
        ImageGrabber &grabber = *owner;
        ImageWaiter waiter(grabber);
        int index = 0;
        if (twoMonitors) {
            for (index = 0; index < 4; ++index) {
                grabber.setScreenIndex(index);
                if (grabber.getScreenName() == "RIGHT")
                    break;
            }
            QCOMPARE(grabber.getScreenName(), QString("RIGHT"));
        }
        grabber.start();
        // The first images may predate the server's drawing of the window.
        FrameRecord record;
        QVERIFY(QTest::qWaitFor(
            [&] {
                record = waiter.next();
                return record.width == expectedWidth && near(pixelAt(record, 101 + 20, 57 + 20), BlockColours[0]);
            },
            10000));
        grabber.stop();
        QCOMPARE(record.width, expectedWidth);
        QCOMPARE(record.height, 768);
        QCOMPARE(record.bytesPerLine, expectedWidth);
        QCOMPARE(record.data.size(), expectedWidth * 768 * 3 / 2);
        QCOMPARE(record.scaleX, 1.0f);
        QVERIFY(record.captureTime.isValid());
        for (int i = 0; i < 4; ++i) {
            for (int dx : {1, 20, 38})
                for (int dy : {1, 20, 38})
                    QVERIFY2(near(pixelAt(record, 101 + i * 40 + dx, 57 + dy), BlockColours[i]),
                             qPrintable(pixelAt(record, 101 + i * 40 + dx, 57 + dy).name()));
        }
        // Just outside the window: not the pattern.
        QVERIFY(!near(pixelAt(record, 100, 57), BlockColours[0]));
    }

    void framesAreNumberedAcrossRuns()
    {
        std::unique_ptr<ImageGrabber> grabber = createSystemImageGrabber();
        QVERIFY(dynamic_cast<ImageGrabberDesktop *>(grabber.get()));
        ImageWaiter waiter(*grabber);
        grabber->setScreenIndex(0);
        QVERIFY(!grabber->isScreenCountChanged());
        grabber->start();
        QCOMPARE(waiter.next().frameNumber, 0);
        QCOMPARE(waiter.next().frameNumber, 1);
        grabber->stop();
        // Nothing is grabbed unless asked for.
        QVERIFY(!QTest::qWaitFor([&] { return waiter.count() > 0; }, 200));
        grabber->start();
        QCOMPARE(waiter.next().frameNumber, 2);
        grabber->stop();
    }

    void stillScreenIsNotCapturedAgainAndAChangeIsSeenAtTheNextGrab()
    {
        std::unique_ptr<ImageGrabber> owner = systemGrabber();
        ImageGrabber &grabber = *owner;
        ImageWaiter waiter(grabber);
        grabber.setScreenIndex(0);
        grabber.start();
        FrameRecord previous = waiter.next();
        QVERIFY(previous.changed);
        // Nothing drawn: the same pixels are handed on, not captured again.
        FrameRecord record;
        QVERIFY(QTest::qWaitFor(
            [&] {
                record = waiter.next();
                const bool same = !record.changed && record.data.constData() == previous.data.constData();
                previous = record;
                return same;
            },
            10000));
        for (int i = 0; i < 3; ++i) {
            record = waiter.next();
            QVERIFY(!record.changed);
            QCOMPARE(record.data.constData(), previous.data.constData());
        }
        // Something drawn: the next grab captures it.
        PatternWindow window;
        window.setGeometry(501, 301, 160, 40);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.painted, 10000);
        QApplication::sync();
        record = waiter.next();
        QVERIFY(record.changed);
        QVERIFY(near(pixelAt(record, 501 + 20, 301 + 20), BlockColours[0]));
    }

    // On a still screen a far-off grab waits for DAMAGE: something drawn is
    // grabbed at once, and a stop ends the wait.
    void aChangeIsGrabbedAtOnceWhileAStillScreenWaits()
    {
        std::unique_ptr<ImageGrabber> owner = systemGrabber();
        ImageGrabber &grabber = *owner;
        ImageWaiter waiter(grabber);
        grabber.setScreenIndex(0);
        grabber.start();
        QVERIFY(waiter.next().changed);
        QVERIFY(QTest::qWaitFor([&] { return !waiter.next().changed; }, 10000));
        QVERIFY(grabber.wakesOnChange());

        using std::chrono::seconds;
        quint64 request = grabber.requestImage(ImageGrabber::Clock::now() + seconds(30), true);
        QVERIFY(waiter.answer(request, 300).data.isEmpty()); // nothing drawn, nothing grabbed
        QElapsedTimer drawn;
        PatternWindow window;
        window.setGeometry(601, 201, 160, 40);
        window.show();
        drawn.start();
        const FrameRecord record = waiter.answer(request, 10000);
        QVERIFY(!record.data.isEmpty());
        QVERIFY2(drawn.elapsed() < 5000, qPrintable(QString::number(drawn.elapsed())));
        QVERIFY(record.changed);
        QTRY_VERIFY_WITH_TIMEOUT(near(pixelAt(waiter.next(), 601 + 20, 201 + 20), BlockColours[0]), 10000);

        // A grab asked for without pSoonerOnChange keeps its time.
        QVERIFY(QTest::qWaitFor([&] { return !waiter.next().changed; }, 10000));
        request = grabber.requestImage(ImageGrabber::Clock::now() + seconds(30));
        window.move(602, 201);
        QVERIFY(waiter.answer(request, 500).data.isEmpty());

        QElapsedTimer stopping;
        stopping.start();
        grabber.stop();
        QVERIFY2(stopping.elapsed() < 5000, qPrintable(QString::number(stopping.elapsed())));
    }

    // After a whole first picture only the rows drawn into are fetched
    // again; the pictures built that way equal a whole capture.
    void picturesFromDrawnRowsEqualAWholeCapture()
    {
        std::unique_ptr<ImageGrabber> owner = systemGrabber();
        ImageWaiter waiter(*owner);
        owner->setScreenIndex(0);
        owner->start();
        QVERIFY(waiter.next().changed);

        PatternWindow first;
        first.setGeometry(101, 101, 160, 40);
        first.show();
        QTRY_VERIFY_WITH_TIMEOUT(first.painted, 10000);
        QApplication::sync();
        FrameRecord record = waiter.next();
        QVERIFY(near(pixelAt(record, 101 + 20, 101 + 20), BlockColours[0]));

        PatternWindow second;
        second.setGeometry(1001, 601, 160, 40);
        second.show();
        QTRY_VERIFY_WITH_TIMEOUT(second.painted, 10000);
        first.move(301, 151); // both the old place and the new one are drawn into
        QApplication::sync();
        QTRY_VERIFY_WITH_TIMEOUT(near(pixelAt(record = waiter.next(), 301 + 60, 151 + 20), BlockColours[1]), 10000);
        QVERIFY(near(pixelAt(record, 1001 + 100, 601 + 20), BlockColours[2]));
        QVERIFY(!near(pixelAt(record, 101 + 20, 101 + 20), BlockColours[0]));

        std::unique_ptr<ImageGrabber> freshOwner = systemGrabber();
        ImageWaiter fresh(*freshOwner);
        freshOwner->setScreenIndex(0);
        freshOwner->start();
        const FrameRecord whole = fresh.next();
        QCOMPARE(whole.width, record.width);
        QVERIFY(whole.data == record.data);
    }

    void monitorCountChangeIsReportedOnce()
    {
        std::unique_ptr<ImageGrabber> owner = systemGrabber();
        ImageGrabber &grabber = *owner;
        ImageWaiter waiter(grabber);
        grabber.setScreenIndex(0);
        grabber.start();
        QVERIFY(waiter.next().width > 0);
        QVERIFY(!grabber.isScreenCountChanged());
        QVERIFY(RandrMonitor::set("LEFT", 0, 0, 683, 768));
        QVERIFY(grabber.isScreenCountChanged());
        QVERIFY(!grabber.isScreenCountChanged());
        grabber.stop();
        RandrMonitor::remove("LEFT");
        QVERIFY(!grabber.isScreenCountChanged()); // not grabbing
    }

    void resolutionChangeShowsThePlaceholderAtTheFirstSize()
    {
        QVERIFY(RandrMonitor::set("LEFT", 0, 0, 683, 768));
        QVERIFY(RandrMonitor::set("RIGHT", 683, 0, 683, 768));
        std::unique_ptr<ImageGrabber> owner = systemGrabber();
        ImageGrabber &grabber = *owner;
        ImageWaiter waiter(grabber);
        for (int index = 0; index < 4; ++index) {
            grabber.setScreenIndex(index);
            if (grabber.getScreenName() == "RIGHT")
                break;
        }
        grabber.start();
        QCOMPARE(waiter.next().width, 680);
        RandrMonitor::remove("RIGHT");
        QVERIFY(RandrMonitor::set("RIGHT", 683, 0, 600, 700));
        auto isPlaceholder = [&](const FrameRecord &pRecord) {
            return pRecord.width == 680 && uniformly(pRecord, "\x00\x00\x50");
        };
        FrameRecord record;
        QVERIFY(QTest::qWaitFor([&] { return isPlaceholder(record = waiter.next()); }, 10000));
        QCOMPARE(record.width, 680);
        QCOMPARE(record.height, 768);
        RandrMonitor::remove("RIGHT");
        QVERIFY(RandrMonitor::set("RIGHT", 683, 0, 683, 768));
        QVERIFY(QTest::qWaitFor([&] { return !isPlaceholder(record = waiter.next()); }, 10000));
        QCOMPARE(record.width, 680);
        grabber.stop();
    }

    void qtGrabberGivesTheSameLayout()
    {
        PatternWindow window;
        window.setGeometry(301, 157, 160, 40);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.painted, 10000);
        ImageGrabberQt grabber;
        ImageWaiter waiter(grabber);
        grabber.setScreenIndex(0);
        QCOMPARE(grabber.getScreenWidth(), 1364);
        QCOMPARE(grabber.getScreenName(), QGuiApplication::screens().value(0)->name());
        grabber.start();
        FrameRecord record;
        QVERIFY(QTest::qWaitFor(
            [&] {
                record = waiter.next();
                return record.width == 1364 && near(pixelAt(record, 301 + 20, 157 + 20), BlockColours[0]);
            },
            10000));
        grabber.stop();
        QCOMPARE(record.width, 1364);
        QCOMPARE(record.bytesPerLine, 1364);
        for (int i = 0; i < 4; ++i)
            QVERIFY(near(pixelAt(record, 301 + i * 40 + 20, 157 + 20), BlockColours[i]));
    }
};

QTEST_MAIN(TestImageGrabberX11)
#include "tst_imagegrabberx11.moc"
