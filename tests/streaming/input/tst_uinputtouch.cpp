// SPDX-License-Identifier: GPL-2.0-or-later
// The evdev events the uinput touch device is fed, tick by tick.
#include "platform/uinputtouch.h"

#include <QtTest>

using namespace glimra::platform;

namespace {

QString describe(const std::vector<input_event> &pEvents)
{
    QStringList out;
    for (const input_event &e : pEvents) {
        if (e.type == EV_SYN)
            out << "SYN";
        else if (e.type == EV_KEY && e.code == BTN_TOUCH)
            out << QString("TOUCH=%1").arg(e.value);
        else if (e.code == ABS_MT_SLOT)
            out << QString("slot=%1").arg(e.value);
        else if (e.code == ABS_MT_TRACKING_ID)
            out << QString("track=%1").arg(e.value);
        else if (e.code == ABS_MT_POSITION_X)
            out << QString("mx=%1").arg(e.value);
        else if (e.code == ABS_MT_POSITION_Y)
            out << QString("my=%1").arg(e.value);
        else if (e.code == ABS_X)
            out << QString("x=%1").arg(e.value);
        else if (e.code == ABS_Y)
            out << QString("y=%1").arg(e.value);
        else
            out << QString("?%1/%2=%3").arg(e.type).arg(e.code).arg(e.value);
    }
    return out.join(' ');
}

TouchContact contact(uint32_t pId, uint32_t pFlags, int32_t pX, int32_t pY)
{
    TouchContact c;
    c.pointerId = pId;
    c.pointerFlags = pFlags;
    c.x = pX;
    c.y = pY;
    return c;
}

constexpr uint32_t Down = PointerDown | PointerInRange | PointerInContact;
constexpr uint32_t Update = PointerUpdate | PointerInRange | PointerInContact;

} // namespace

using Tick = std::vector<TouchContact>;
Q_DECLARE_METATYPE(std::vector<Tick>)

class TestUinputTouch : public QObject {
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<std::vector<Tick>>("ticks");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("a tap") << std::vector<Tick>{{contact(0, Down, 10, 20)},
                                                    {contact(0, Update, 11, 21)},
                                                    {contact(0, PointerUp, 11, 21)}}
                               << QStringList{"slot=0 track=0 mx=10 my=20 x=10 y=20 TOUCH=1 SYN",
                                              "slot=0 mx=11 my=21 x=11 y=21 SYN", "slot=0 track=-1 TOUCH=0 SYN"};
        QTest::newRow("two fingers, the first lifts")
            << std::vector<Tick>{{contact(0, Down, 1, 1), contact(1, Down, 5, 5)},
                                 {contact(0, PointerUp, 1, 1), contact(1, Update, 6, 6)},
                                 {contact(1, Update, 6, 6)}}
            << QStringList{"slot=0 track=0 mx=1 my=1 x=1 y=1 slot=1 track=1 mx=5 my=5 TOUCH=1 SYN",
                           "slot=0 track=-1 slot=1 mx=6 my=6 x=6 y=6 SYN", "slot=1 mx=6 my=6 x=6 y=6 SYN"};
        QTest::newRow("a new contact in a freed slot gets a new tracking id")
            << std::vector<Tick>{{contact(0, Down, 1, 1)}, {contact(0, PointerUp, 1, 1)}, {contact(0, Down, 2, 2)}}
            << QStringList{"slot=0 track=0 mx=1 my=1 x=1 y=1 TOUCH=1 SYN", "slot=0 track=-1 TOUCH=0 SYN",
                           "slot=0 track=1 mx=2 my=2 x=2 y=2 TOUCH=1 SYN"};
        QTest::newRow("ids beyond the slots are skipped")
            << std::vector<Tick>{{contact(25, Down, 1, 1)}} << QStringList{"SYN"};
    }

    void frames()
    {
        QFETCH(std::vector<Tick>, ticks);
        QFETCH(QStringList, expected);
        UinputTouchEncoder encoder;
        QStringList actual;
        for (const Tick &tick : ticks)
            actual << describe(encoder.frame(tick));
        QCOMPARE(actual, expected);
    }

    void deviceWithoutUinputIsUnavailable()
    {
        UinputTouch touch;
        if (touch.open(1920, 1080))
            QSKIP("/dev/uinput is writable here: nothing to check");
        QVERIFY(!touch.isOpen());
        QVERIFY(!touch.inject({contact(0, Down, 1, 1)}));
    }
};

QTEST_MAIN(TestUinputTouch)
#include "tst_uinputtouch.moc"
