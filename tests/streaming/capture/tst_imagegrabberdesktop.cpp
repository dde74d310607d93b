// SPDX-License-Identifier: GPL-2.0-or-later
// The system grabber's loop over a scripted capture seam: scale from the
// logical and physical sizes, the placeholder after a resolution change,
// failed captures never published, the count of monitors.
#include "capture/imagegrabberdesktop.h"
#include "imagewaiter.h"
#include "platform/screencapture.h"

#include <QtTest>

#include <cstring>
#include <mutex>

using glimra::platform::MonitorInfo;
using glimra::platform::ScreenCapture;

namespace {

// What the fake system reports; shared by every fake capture object.
struct FakeSystem {
    std::mutex mutex;
    std::vector<MonitorInfo> monitors;
    bool failCaptures = false;
    uint8_t fill = 0x11;
    int prepared = 0;
};
FakeSystem gSystem;

class FakeScreenCapture : public ScreenCapture {
public:
    std::vector<MonitorInfo> enumerateMonitors() override
    {
        std::lock_guard<std::mutex> lock(gSystem.mutex);
        return gSystem.monitors;
    }
    int monitorCount() override { return int(enumerateMonitors().size()); }
    bool open(const std::wstring &pName) override
    {
        mName = pName;
        MonitorInfo info;
        return readGeometry(info);
    }
    bool readGeometry(MonitorInfo &pInfo) override
    {
        for (const MonitorInfo &m : enumerateMonitors())
            if (m.name == mName) {
                pInfo = m;
                return true;
            }
        return false;
    }
    bool prepare(int pWidth, int pHeight) override
    {
        std::lock_guard<std::mutex> lock(gSystem.mutex);
        ++gSystem.prepared;
        mBytes = size_t(pWidth) * size_t(pHeight) * 3;
        return true;
    }
    bool capture(uint8_t *pBgr) override
    {
        std::lock_guard<std::mutex> lock(gSystem.mutex);
        if (gSystem.failCaptures)
            return false;
        std::memset(pBgr, gSystem.fill, mBytes);
        return true;
    }
    void close() override {}

private:
    std::wstring mName;
    size_t mBytes = 0;
};

std::unique_ptr<ScreenCapture> createFake()
{
    return std::make_unique<FakeScreenCapture>();
}

MonitorInfo monitor(const wchar_t *pName, int pLogicalW, int pLogicalH, int pPhysW, int pPhysH)
{
    MonitorInfo m;
    m.name = pName;
    m.logicalWidth = pLogicalW;
    m.logicalHeight = pLogicalH;
    m.physicalWidth = pPhysW;
    m.physicalHeight = pPhysH;
    return m;
}

void setSystem(std::vector<MonitorInfo> pMonitors, bool pFail = false, uint8_t pFill = 0x11)
{
    std::lock_guard<std::mutex> lock(gSystem.mutex);
    gSystem.monitors = std::move(pMonitors);
    gSystem.failCaptures = pFail;
    gSystem.fill = pFill;
}

} // namespace

class TestImageGrabberDesktop : public QObject {
    Q_OBJECT

private slots:
    void recordsCarryTheScale()
    {
        // 150 %: 1280x720 logical, 1920x1080 physical.
        setSystem({monitor(L"DISPLAY1", 1366, 768, 1366, 768), monitor(L"DISPLAY2", 1280, 720, 1920, 1080)});
        ImageGrabberDesktop grabber(&createFake);
        ImageWaiter waiter(grabber);
        grabber.setScreenIndex(1);
        QCOMPARE(grabber.getScreenName(), QString("DISPLAY2"));
        QCOMPARE(grabber.getScreenWidth(), 1920);
        grabber.start();
        const FrameRecord record = waiter.next();
        grabber.stop();
        QCOMPARE(record.width, 1920);
        QCOMPARE(record.height, 1080);
        QCOMPARE(record.scaleX, 1.5f);
        QCOMPARE(record.scaleY, 1.5f);
        QVERIFY(uniformly(record, "\x11\x11\x11"));
    }

    void resolutionChangeGivesThePlaceholderThenRealPixelsAgain()
    {
        setSystem({monitor(L"A", 1366, 768, 1366, 768)});
        ImageGrabberDesktop grabber(&createFake);
        ImageWaiter waiter(grabber);
        grabber.start();
        FrameRecord record = waiter.next();
        QCOMPARE(record.width, 1364);
        QCOMPARE(record.bytesPerLine, 1364);
        setSystem({monitor(L"A", 1024, 768, 1024, 768)});
        QVERIFY(QTest::qWaitFor(
            [&] {
                record = waiter.next();
                return uniformly(record, "\x00\x00\x50");
            },
            10000));
        QCOMPARE(record.width, 1364);
        setSystem({monitor(L"A", 1366, 768, 1366, 768)}, false, 0x22);
        QVERIFY(QTest::qWaitFor(
            [&] {
                record = waiter.next();
                return uniformly(record, "\x22\x22\x22");
            },
            10000));
        grabber.stop();
        QCOMPARE(gSystem.prepared > 0, true);
    }

    void failedCapturesAreNotPublished()
    {
        setSystem({monitor(L"A", 640, 480, 640, 480)}, true);
        ImageGrabberDesktop grabber(&createFake);
        ImageWaiter waiter(grabber);
        grabber.start();
        grabber.requestImage(ImageGrabber::Clock::now());
        QVERIFY(!QTest::qWaitFor([&] { return waiter.count() > 0; }, 300));
        setSystem({monitor(L"A", 640, 480, 640, 480)}, false);
        QCOMPARE(waiter.next().width, 640);
        grabber.stop();
    }

    void unknownIndexGrabsNothing()
    {
        setSystem({monitor(L"A", 640, 480, 640, 480)});
        ImageGrabberDesktop grabber(&createFake);
        ImageWaiter waiter(grabber);
        grabber.setScreenIndex(3);
        QVERIFY(grabber.getScreenName().isEmpty());
        QCOMPARE(grabber.getScreenHeight(), 0);
        grabber.start();
        grabber.requestImage(ImageGrabber::Clock::now());
        QVERIFY(!QTest::qWaitFor([&] { return waiter.count() > 0; }, 300));
        grabber.stop();
    }

    void monitorCountChangeIsReportedWhileGrabbing()
    {
        setSystem({monitor(L"A", 640, 480, 640, 480)});
        ImageGrabberDesktop grabber(&createFake);
        ImageWaiter waiter(grabber);
        QVERIFY(!grabber.isScreenCountChanged()); // before the first grab
        grabber.start();
        QCOMPARE(waiter.next().width, 640);
        QVERIFY(!grabber.isScreenCountChanged());
        setSystem({monitor(L"A", 640, 480, 640, 480), monitor(L"B", 640, 480, 640, 480)});
        QVERIFY(grabber.isScreenCountChanged());
        QVERIFY(!grabber.isScreenCountChanged());
        grabber.stop();
        setSystem({monitor(L"A", 640, 480, 640, 480)});
        QVERIFY(!grabber.isScreenCountChanged()); // after stop
    }

    void stopRightAfterStartEndsTheThread()
    {
        setSystem({monitor(L"A", 640, 480, 640, 480)});
        ImageGrabberDesktop grabber(&createFake);
        ImageWaiter waiter(grabber);
        for (int i = 0; i < 50; ++i) {
            grabber.start();
            grabber.stop();
            QVERIFY(grabber.isFinished());
        }
        grabber.stop(); // while not running: the next start still grabs
        grabber.start();
        QVERIFY(waiter.next().width == 640);
        grabber.stop();
    }
};

QTEST_GUILESS_MAIN(TestImageGrabberDesktop)
#include "tst_imagegrabberdesktop.moc"
