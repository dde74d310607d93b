// SPDX-License-Identifier: GPL-2.0-or-later
// End to end against the room emulator, an independent receiver that decodes
// with libavcodec: handshakes, descriptor order, key frame first at 1364x768
// from a 1366-wide screen, the picture's block lumas, pause and DISCONNECT.
#include <Glimra>

#include "../../support/streamreceiver.h"

#include <QApplication>
#include <QCursor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QWidget>
#include <QtTest>

namespace {

// Four grey blocks of 64 x 64 whose luma the receiver reports.
const int Greys[4] = {40, 100, 160, 220};
const QPoint WindowAt(100, 60);

class GreyWindow : public QWidget {
public:
    GreyWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {}
    bool painted = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        for (int i = 0; i < 4; ++i)
            painter.fillRect(i * 64, 0, 64, 64, QColor(Greys[i], Greys[i], Greys[i]));
        painted = true;
    }
};

} // namespace

class TstGlimraEmulator : public QObject {
    Q_OBJECT
private slots:
    void streamsToTheEmulator();
};

void TstGlimraEmulator::streamsToTheEmulator()
{
    // The receiver first: showing a window starts Qt's D-Bus thread, and
    // QProcess's first start would then meet it in Qt's type registry.
    QStringList args;
    for (int i = 0; i < 4; ++i) // the middle 32 x 32 of each block
        args << "--luma-block" << QString("%1,%2,32,32").arg(WindowAt.x() + i * 64 + 16).arg(WindowAt.y() + 16);
    StreamReceiver emulator;
    QVERIFY(emulator.start(args));
    GreyWindow window;
    window.setGeometry(QRect(WindowAt, QSize(256, 64)));
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(window.painted, 10000);
    QCursor::setPos(WindowAt.x() + 300, WindowAt.y() + 300);
    QTRY_COMPARE(QCursor::pos(), QPoint(WindowAt.x() + 300, WindowAt.y() + 300));

    Glimra glimra;
    glimra.setImageQuality(75);
    glimra.setStreamedScreen(0);
    QCOMPARE(glimra.getStreamedScreenWidth(), 1364u);
    glimra.remoteInteractionActived(false);
    glimra.start();
    glimra.streamTo("127.0.0.1", emulator.port, 42, true);

    QSet<int> handshakes;
    for (int i = 0; i < 2; ++i) {
        const QJsonObject handshake =
            emulator.waitFor([](const QJsonObject &e) { return e["event"] == "stream.handshake"; });
        QVERIFY(handshake["ok"].toBool());
        QCOMPARE(handshake["id"].toInt(), 42);
        QCOMPARE(handshake["text"].toString(), QString(R"({ "connection_type" : "STREAM_VIDEO", "ID" : 42})"));
        handshakes.insert(handshake["conn"].toInt());
    }
    QCOMPARE(handshakes.size(), 2);
    QMap<QString, QJsonObject> ready;
    for (int i = 0; i < 2; ++i) {
        const QJsonObject event = emulator.waitFor([](const QJsonObject &e) { return e["event"] == "stream.ready"; });
        QVERIFY2(event["order_ok"].toBool(), QJsonDocument(event).toJson(QJsonDocument::Compact).constData());
        ready.insert(event["role"].toString(), event);
    }
    QCOMPARE(ready["video"]["descriptors"].toArray(), QJsonArray({"ID", "STREAMTYPE", "CODEC"}));
    QCOMPARE(ready["controls"]["descriptors"].toArray(), QJsonArray({"ID", "STREAMTYPE", "TOUCH", "TRACKPAD"}));

    const QJsonObject first = emulator.waitFor([](const QJsonObject &e) { return e["event"] == "stream.frame"; });
    QVERIFY(first["key"].toBool());
    QCOMPARE(first["width"].toInt(), 1364);
    QCOMPARE(first["height"].toInt(), 768);
    QCOMPARE(first["seq"].toInt(), 1);

    const QJsonObject later =
        emulator.waitFor([](const QJsonObject &e) { return e["event"] == "stream.frame" && e["seq"].toInt() >= 8; });
    const QJsonArray luma = later["luma"].toArray();
    QCOMPARE(luma.size(), 4);
    for (int i = 0; i < 4; ++i)
        QVERIFY2(qAbs(luma[i].toInt() - Greys[i]) <= 6,
                 qPrintable(QString("block %1: luma %2, painted %3").arg(i).arg(luma[i].toInt()).arg(Greys[i])));

    glimra.pause();
    const QJsonObject paused = emulator.waitFor([](const QJsonObject &e) { return e["event"] == "stream.pause"; });
    QVERIFY(!paused.isEmpty());
    glimra.restart();
    const double pausedAt = paused["mono_us"].toDouble();
    QVERIFY(!emulator
                 .waitFor([pausedAt](const QJsonObject &e) {
                     return e["event"] == "stream.frame" && e["mono_us"].toDouble() > pausedAt;
                 })
                 .isEmpty());

    glimra.stop();
    QSet<int> disconnected;
    for (int i = 0; i < 2; ++i) {
        const QJsonObject event =
            emulator.waitFor([](const QJsonObject &e) { return e["event"] == "stream.disconnect"; });
        QVERIFY(!event.isEmpty());
        disconnected.insert(event["conn"].toInt());
    }
    QCOMPARE(disconnected, handshakes);
    QVERIFY(!glimra.isStreaming());
}

QTEST_MAIN(TstGlimraEmulator)
#include "tst_glimra_emulator.moc"
