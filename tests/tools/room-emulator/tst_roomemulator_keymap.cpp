// SPDX-License-Identifier: GPL-2.0-or-later
// The keys the room display sends back: from X keycodes (evdev + 8), from Qt
// keys where there is no keycode, and as UTF-16 units where there is no key.
#include "keymap.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<RoomKey>)

class TestRoomEmulatorKeymap : public QObject {
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
};

void TestRoomEmulatorKeymap::keys_data()
{
    QTest::addColumn<int>("qtKey");
    QTest::addColumn<quint32>("xKeycode");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<RoomKey>>("expected");
    const auto k = [](quint16 vk, quint16 scan) { return QList<RoomKey>{RoomKey{vk, scan}}; };
    // The physical key wins over the layout: 'q' on a French keyboard is the
    // US 'A' key.
    QTest::newRow("A key") << int(Qt::Key_A) << 38u << "a" << k(0x41, 0x1e);
    QTest::newRow("A key, AZERTY") << int(Qt::Key_Q) << 38u << "q" << k(0x41, 0x1e);
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 9u << "" << k(0x1b, 0x01);
    QTest::newRow("F12") << int(Qt::Key_F12) << 96u << "" << k(0x7b, 0x58);
    QTest::newRow("102nd key") << int(Qt::Key_Less) << 94u << "<" << k(0xe2, 0x56);
    QTest::newRow("left shift") << int(Qt::Key_Shift) << 50u << "" << k(0x10, 0x2a);
    // Extended keys carry their virtual key in both fields.
    QTest::newRow("Up") << int(Qt::Key_Up) << 111u << "" << k(0x26, 0x26);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << 104u << "\r" << k(0x0d, 0x0d);
    QTest::newRow("right Ctrl") << int(Qt::Key_Control) << 105u << "" << k(0xa3, 0xa3);
    QTest::newRow("Delete") << int(Qt::Key_Delete) << 119u << "" << k(0x2e, 0x2e);
    // No keycode (another platform): from the Qt key.
    QTest::newRow("Qt A") << int(Qt::Key_A) << 0u << "a" << k(0x41, 0x1e);
    QTest::newRow("Qt 0") << int(Qt::Key_0) << 0u << "0" << k(0x30, 0x0b);
    QTest::newRow("Qt 7") << int(Qt::Key_7) << 0u << "7" << k(0x37, 0x08);
    QTest::newRow("Qt F11") << int(Qt::Key_F11) << 0u << "" << k(0x7a, 0x57);
    QTest::newRow("Qt Return") << int(Qt::Key_Return) << 0u << "\r" << k(0x0d, 0x1c);
    QTest::newRow("Qt Home") << int(Qt::Key_Home) << 0u << "" << k(0x24, 0x24);
    // No key at all: the text as UTF-16 units, virtual key 0.
    QTest::newRow("e acute") << int(Qt::Key_Eacute) << 255u << QString(QChar(0xe9)) << k(0, 0xe9);
    QTest::newRow("euro") << 0 << 0u << QString(QChar(0x20ac)) << k(0, 0x20ac);
    QTest::newRow("outside the BMP") << 0 << 0u << QString::fromUtf8("\xf0\x9f\x98\x80")
                                     << QList<RoomKey>{RoomKey{0, 0xd83d}, RoomKey{0, 0xde00}};
    QTest::newRow("control character") << 0 << 0u << QString(QChar(0x01)) << QList<RoomKey>{};
    QTest::newRow("nothing") << int(Qt::Key_unknown) << 0u << "" << QList<RoomKey>{};
}

void TestRoomEmulatorKeymap::keys()
{
    QFETCH(int, qtKey);
    QFETCH(quint32, xKeycode);
    QFETCH(QString, text);
    QFETCH(QList<RoomKey>, expected);
    const QList<RoomKey> got = roomKeys(qtKey, xKeycode, text);
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].vk, expected[i].vk);
        QCOMPARE(got[i].scan, expected[i].scan);
    }
}

QTEST_GUILESS_MAIN(TestRoomEmulatorKeymap)
#include "tst_roomemulator_keymap.moc"
