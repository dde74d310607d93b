// SPDX-License-Identifier: GPL-2.0-or-later
// Pointer, keyboard and touch decisions of MouseKeyboard, seen through a
// recording backend.
#include "input/mousekeyboard.h"
#include "input/recordinginputbackend.h"
#include "inputpayloads.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

using namespace glimra::platform;

namespace {

using namespace inputpayloads;

// One remote mouse event of a table row; pAfterMs advances the clock first.
struct MouseStep {
    bool relative;
    qint32 id;
    float x, y;
    quint8 action, button;
    qint64 afterMs;
};

QString describe(const MouseInput &pInput)
{
    QStringList parts;
    if (pInput.flags & MouseMove)
        parts << QString("move%1(%2,%3)").arg(pInput.flags & MouseAbsolute ? "-abs" : "").arg(pInput.dx).arg(pInput.dy);
    const std::pair<uint32_t, const char *> buttons[] = {{MouseLeftDown, "left-down"},   {MouseLeftUp, "left-up"},
                                                         {MouseRightDown, "right-down"}, {MouseRightUp, "right-up"},
                                                         {MouseMiddleDown, "mid-down"},  {MouseMiddleUp, "mid-up"}};
    for (const auto &b : buttons)
        if (pInput.flags & b.first)
            parts << QString(b.second);
    if (pInput.flags & MouseWheel)
        parts << QString("wheel(%1)").arg(qint32(pInput.mouseData));
    if (!(pInput.flags & MouseMove) && (pInput.dx || pInput.dy))
        parts << "with-position";
    return parts.join('+');
}

QString describe(const std::vector<MouseInput> &pInputs)
{
    QStringList out;
    for (const MouseInput &input : pInputs)
        out << describe(input);
    return out.join(' ');
}

QString describe(const std::vector<TouchContact> &pContacts)
{
    QStringList out;
    for (const TouchContact &c : pContacts)
        out << QString("%1:%2@%3,%4").arg(c.pointerId).arg(c.pointerFlags, 0, 16).arg(c.x).arg(c.y);
    return out.join(' ');
}

} // namespace

Q_DECLARE_METATYPE(QVector<MouseStep>)

class TestMouseKeyboard : public QObject {
    Q_OBJECT

    // 1920x1080 primary screen streamed at 100 %.
    struct Fixture {
        RecordingInputBackend *backend;
        std::unique_ptr<MouseKeyboard> injector;
        qint64 clock = 1000000;

        explicit Fixture(bool pTouch = true)
        {
            auto recording = std::make_unique<RecordingInputBackend>(pTouch);
            backend = recording.get();
            injector = std::make_unique<MouseKeyboard>(std::move(recording), MouseKeyboard::TouchThread::Manual);
            injector->setClock([this] { return clock; });
            injector->setTargetGeometry(QRect(0, 0, 1920, 1080), 1920, 1080, QRect(0, 0, 1920, 1080), 1.0);
        }
        // The contacts of every tick that injected something.
        QStringList ticks(int pCount)
        {
            backend->clear();
            for (int i = 0; i < pCount; ++i)
                injector->runTouchTick();
            QStringList out;
            for (const auto &tick : backend->touchTicks())
                out << describe(tick);
            return out;
        }
    };

private slots:
    void pointerRules_data()
    {
        QTest::addColumn<QVector<MouseStep>>("steps");
        QTest::addColumn<QString>("expected");
        const float c = 0.5f;
        QTest::newRow("absolute move without a button is not injected")
            << QVector<MouseStep>{{false, 7, c, c, 0, 0, 0}} << "";
        QTest::newRow("relative move is always injected")
            << QVector<MouseStep>{{true, 7, 5, -3, 0, 0, 0}} << "move(5,-3)";
        QTest::newRow("press, move and release of one pointer")
            << QVector<MouseStep>{{false, 7, c, c, 2, 0, 0},
                                  {false, 7, 0.25f, 0.25f, 0, 0, 10},
                                  {false, 7, 0.25f, 0.25f, 1, 0, 10},
                                  {false, 7, c, c, 0, 0, 10}}
            << "move-abs(32767,32767) left-down move-abs(16383,16383) move-abs(16383,16383) left-up";
        QTest::newRow("another pointer is refused within 1000 ms")
            << QVector<MouseStep>{{false, 7, c, c, 2, 0, 0}, {false, 8, 0, 0, 2, 0, 1000}, {false, 8, 0, 0, 0, 0, 0}}
            << "move-abs(32767,32767) left-down";
        QTest::newRow("another pointer takes over after 1000 ms")
            << QVector<MouseStep>{{false, 7, c, c, 2, 0, 0}, {false, 8, 0, 0, 2, 2, 1001}, {false, 8, 1, 1, 0, 0, 0}}
            << "move-abs(32767,32767) left-down move-abs(0,0) right-down move-abs(65535,65535)";
        QTest::newRow("release by another pointer is ignored")
            << QVector<MouseStep>{{false, 7, c, c, 2, 1, 0}, {false, 8, c, c, 1, 1, 0}, {false, 7, c, c, 1, 1, 0}}
            << "move-abs(32767,32767) mid-down move-abs(32767,32767) mid-up";
        QTest::newRow("wheel is ignored while a button is held")
            << QVector<MouseStep>{{false, 7, c, c, 2, 0, 0}, {false, 7, 120, 0, 3, 0, 0}}
            << "move-abs(32767,32767) left-down";
        QTest::newRow("wheel without a button, delta in x")
            << QVector<MouseStep>{{false, 7, -240.7f, 0, 3, 0, 0}} << "wheel(-240)";
        QTest::newRow("unknown button moves only")
            << QVector<MouseStep>{{false, 7, c, c, 2, 9, 0}, {false, 7, c, c, 1, 9, 0}}
            << "move-abs(32767,32767) move-abs(32767,32767)";
        QTest::newRow("unknown action does nothing") << QVector<MouseStep>{{true, 7, 1, 1, 4, 0, 0}} << "";
        QTest::newRow("non-finite coordinates do not crash")
            << QVector<MouseStep>{{true, 7, float(qInf()), std::nanf(""), 0, 0, 0}} << "move(0,0)";
    }

    void pointerRules()
    {
        QFETCH(QVector<MouseStep>, steps);
        QFETCH(QString, expected);
        Fixture f;
        for (const MouseStep &step : steps) {
            f.clock += step.afterMs;
            f.injector->injectMouseEvent(mousePayload(step.relative, step.id, step.x, step.y, step.action, step.button),
                                         step.relative);
        }
        QCOMPARE(describe(f.backend->mouse()), expected);
    }

    void absolutePositionOnAScaledSecondScreen()
    {
        Fixture f;
        // 1280x720 logical at 150 % right of a 1920x1080 primary.
        f.injector->setTargetGeometry(QRect(1920, 0, 1280, 720), 1920, 1080, QRect(0, 0, 1920, 1080), 1.0);
        QCOMPARE(f.backend->metrics().primaryPhysicalWidth, 1920);
        f.injector->injectMouseEvent(mousePayload(false, 1, 0.5f, 0.5f, 2, 0), false);
        // (1920 + 960) * 65535 / 1920
        QCOMPARE(describe(f.backend->mouse()), QString("move-abs(98302,32767) left-down"));
    }

    void shortPayloadsAreIgnored()
    {
        Fixture f;
        f.injector->injectMouseEvent(mousePayload(true, 1, 1, 1, 0, 0).left(23), true);
        f.injector->injectKeyboardEvent(keyPayload(0, 0x41, 0x1E).left(14));
        f.injector->queueTouchEvent(touchPayload(1, 0.5f, 0.5f, 2).left(29));
        QVERIFY(f.backend->mouse().empty());
        QVERIFY(f.backend->keys().empty());
        QVERIFY(f.ticks(3).isEmpty());
    }

    void keyboardFlags_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("vk");
        QTest::addColumn<int>("scan");
        QTest::addColumn<int>("flags");
        QTest::newRow("unicode press of e-acute") << 0 << 0 << 0xE9 << int(KeyUnicode);
        QTest::newRow("unicode release") << 1 << 0 << 0xE9 << int(KeyUnicode | KeyKeyUp);
        QTest::newRow("vk equal to scan is an extended virtual key") << 0 << 0x2E << 0x2E << int(KeyExtendedKey);
        QTest::newRow("scan code press") << 0 << 0x41 << 0x1E << int(KeyScanCode);
        QTest::newRow("scan code release") << 1 << 0x41 << 0x1E << int(KeyScanCode | KeyKeyUp);
        QTest::newRow("other actions press") << 7 << 0x41 << 0x1E << int(KeyScanCode);
    }

    void keyboardFlags()
    {
        QFETCH(int, action);
        QFETCH(int, vk);
        QFETCH(int, scan);
        QFETCH(int, flags);
        Fixture f;
        f.injector->injectKeyboardEvent(keyPayload(quint8(action), quint16(vk), quint16(scan)));
        const std::vector<KeyInput> keys = f.backend->keys();
        QCOMPARE(int(keys.size()), 1);
        QCOMPARE(int(keys[0].virtualKey), vk);
        QCOMPARE(int(keys[0].scanCode), scan);
        QCOMPARE(int(keys[0].flags), flags);
    }

    void touchRules_data()
    {
        QTest::addColumn<QList<QByteArray>>("events");
        QTest::addColumn<QStringList>("ticks");
        QTest::newRow("a tap spans four ticks")
            << QList<QByteArray>{touchPayload(5, 0.5f, 0.5f, 2), touchPayload(5, 0.5f, 0.5f, 1)}
            << QStringList{"0:10006@960,540", "0:20006@960,540", "0:20006@960,540", "0:40000@960,540"};
        QTest::newRow("down, move and up span five ticks; after the up is dropped")
            << QList<QByteArray>{touchPayload(5, 0.5f, 0.5f, 2), touchPayload(5, 0.25f, 0.25f, 0),
                                 touchPayload(5, 0.25f, 0.25f, 1), touchPayload(5, 0.1f, 0.1f, 0)}
            << QStringList{"0:10006@960,540", "0:20006@960,540", "0:20006@480,270", "0:20006@480,270",
                           "0:40000@480,270"};
        QTest::newRow("a held finger is re-injected every tick")
            << QList<QByteArray>{touchPayload(5, 0.5f, 0.5f, 2)}
            << QStringList{"0:10006@960,540", "0:20006@960,540", "0:20006@960,540",
                           "0:20006@960,540", "0:20006@960,540", "0:20006@960,540"};
        QTest::newRow("two fingers get ids 0 and 1 in contact order")
            << QList<QByteArray>{touchPayload(9, 1, 1, 2), touchPayload(3, 0, 0, 2)}
            << QStringList{"0:10006@0,0 1:10006@1920,1080", "0:20006@0,0 1:20006@1920,1080",
                           "0:20006@0,0 1:20006@1920,1080", "0:20006@0,0 1:20006@1920,1080",
                           "0:20006@0,0 1:20006@1920,1080", "0:20006@0,0 1:20006@1920,1080"};
        QTest::newRow("contact flag 0 is ignored")
            << QList<QByteArray>{touchPayload(5, 0.5f, 0.5f, 2, 0)} << QStringList{};
        QTest::newRow("moves of an unknown contact are dropped")
            << QList<QByteArray>{touchPayload(5, 0.5f, 0.5f, 0)} << QStringList{};
        QTest::newRow("other actions are ignored")
            << QList<QByteArray>{touchPayload(5, 0.5f, 0.5f, 3)} << QStringList{};
    }

    void touchRules()
    {
        QFETCH(QList<QByteArray>, events);
        QFETCH(QStringList, ticks);
        Fixture f;
        for (const QByteArray &event : events)
            f.injector->queueTouchEvent(event);
        QCOMPARE(f.ticks(6), ticks);
    }

    void pointerIdsAreReusedWhenAllFingersAreUp()
    {
        Fixture f;
        f.injector->queueTouchEvent(touchPayload(3, 0, 0, 2));
        f.injector->queueTouchEvent(touchPayload(9, 0, 0, 2));
        f.ticks(2);
        f.injector->queueTouchEvent(touchPayload(3, 0, 0, 1));
        f.injector->queueTouchEvent(touchPayload(9, 0, 0, 1));
        QCOMPARE(f.ticks(3), (QStringList{"0:20006@0,0 1:20006@0,0", "0:40000@0,0 1:40000@0,0"}));
        f.injector->queueTouchEvent(touchPayload(4, 0, 0, 2));
        QCOMPARE(f.ticks(1), QStringList{"0:10006@0,0"});
    }

    void aFingerReleasedBesideAHeldOneKeepsTheOther()
    {
        Fixture f;
        f.injector->queueTouchEvent(touchPayload(1, 0, 0, 2));
        f.injector->queueTouchEvent(touchPayload(2, 1, 1, 2));
        f.ticks(2);
        f.injector->queueTouchEvent(touchPayload(1, 0, 0, 1));
        f.injector->queueTouchEvent(touchPayload(2, 0.5f, 0.5f, 0));
        QCOMPARE(f.ticks(3),
                 (QStringList{"0:20006@0,0 1:20006@960,540", "0:40000@0,0 1:20006@960,540", "1:20006@960,540"}));
        // A new finger takes the free id 0 while 1 is held.
        f.injector->queueTouchEvent(touchPayload(7, 0, 0, 2));
        QCOMPARE(f.ticks(1), QStringList{"1:20006@960,540 0:10006@0,0"});
    }

    void touchOnAScaledSecondScreen()
    {
        Fixture f;
        f.injector->setTargetGeometry(QRect(1920, 0, 1280, 720), 1920, 1080, QRect(0, 0, 1920, 1080), 1.0);
        f.injector->queueTouchEvent(touchPayload(1, 0.5f, 0.5f, 2));
        QCOMPARE(f.ticks(1), QStringList{"0:10006@2880,540"});
    }

    void touchUnavailableDropsTouchOnly()
    {
        Fixture f(false);
        QVERIFY(!f.injector->isTouchInjectionAvailable());
        f.injector->queueTouchEvent(touchPayload(1, 0.5f, 0.5f, 2));
        QVERIFY(f.ticks(3).isEmpty());
        f.injector->injectKeyboardEvent(keyPayload(0, 0x41, 0x1E));
        QCOMPARE(int(f.backend->keys().size()), 1);
    }

    void touchQueuesAreBounded()
    {
        Fixture f;
        f.injector->queueTouchEvent(touchPayload(1, 0, 0, 2));
        for (int i = 0; i < 1000; ++i)
            f.injector->queueTouchEvent(touchPayload(1, 0, 0, 0));
        f.injector->queueTouchEvent(touchPayload(1, 0, 0, 1)); // the up still gets in
        const QStringList ticks = f.ticks(300);
        QVERIFY(ticks.size() < 300);
        QCOMPARE(ticks.last(), QString("0:40000@0,0"));
    }

    void touchThreadInjectsEvery16Ms()
    {
        auto recording = std::make_unique<RecordingInputBackend>(true);
        RecordingInputBackend *backend = recording.get();
        MouseKeyboard injector(std::move(recording), MouseKeyboard::TouchThread::Start);
        injector.setTargetGeometry(QRect(0, 0, 100, 100), 100, 100, QRect(0, 0, 100, 100), 1.0);
        injector.queueTouchEvent(touchPayload(1, 0.5f, 0.5f, 2));
        injector.queueTouchEvent(touchPayload(1, 0.5f, 0.5f, 1));
        QTRY_VERIFY_WITH_TIMEOUT(
            !backend->touchTicks().empty() && backend->touchTicks().back().front().pointerFlags == PointerUp, 10000);
    }

    void targetScreenComesFromQtScreens()
    {
        Fixture f;
        QScreen *screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        f.injector->setTargetScreen(screen->name());
        QCOMPARE(f.injector->targetScreenName(), screen->name());
        QCOMPARE(f.backend->metrics().primaryPhysicalWidth,
                 int(screen->geometry().width() * screen->devicePixelRatio()));
        f.backend->clear();
        f.injector->injectMouseEvent(mousePayload(false, 1, 0, 0, 2, 0), false);
        QCOMPARE(describe(f.backend->mouse()), QString("move-abs(0,0) left-down"));
        f.injector->setTargetScreen("no such screen"); // keeps the geometry
        f.backend->clear();
        f.injector->injectMouseEvent(mousePayload(false, 1, 0, 0, 0, 0), false);
        QCOMPARE(describe(f.backend->mouse()), QString("move-abs(0,0)"));
    }
};

QTEST_MAIN(TestMouseKeyboard)
#include "tst_mousekeyboard.moc"
