// SPDX-License-Identifier: GPL-2.0-or-later
// Which Qt platform plugin the client asks for on X11 and Wayland sessions.
#include "displayplatform.h"

#include <QtTest>

class TstDisplayPlatform : public QObject {
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<QByteArray>("qtPlatform");
        QTest::addColumn<QByteArray>("sessionType");
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::addColumn<QByteArray>("x11Display");
        QTest::addColumn<QByteArray>("chosen");
        QTest::newRow("X11 session") << QByteArray() << QByteArray("x11") << QByteArray() << QByteArray(":0")
                                     << QByteArray();
        QTest::newRow("Wayland with XWayland") << QByteArray() << QByteArray("wayland") << QByteArray("wayland-0")
                                               << QByteArray(":0") << QByteArray("xcb;wayland");
        QTest::newRow("Wayland socket only") << QByteArray() << QByteArray("tty") << QByteArray("wayland-1")
                                             << QByteArray(":1") << QByteArray("xcb;wayland");
        QTest::newRow("Wayland without XWayland")
            << QByteArray() << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray() << QByteArray();
        QTest::newRow("user's choice stands") << QByteArray("wayland") << QByteArray("wayland")
                                              << QByteArray("wayland-0") << QByteArray(":0") << QByteArray();
        QTest::newRow("no session at all")
            << QByteArray() << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    }

    void choice()
    {
        QFETCH(QByteArray, qtPlatform);
        QFETCH(QByteArray, sessionType);
        QFETCH(QByteArray, waylandDisplay);
        QFETCH(QByteArray, x11Display);
        QFETCH(QByteArray, chosen);
        QCOMPARE(Velmorant::preferredQtPlatform(qtPlatform, sessionType, waylandDisplay, x11Display), chosen);
    }
};

QTEST_APPLESS_MAIN(TstDisplayPlatform)
#include "tst_displayplatform.moc"
