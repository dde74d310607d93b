// SPDX-License-Identifier: GPL-2.0-or-later
// The library on a Wayland-like session (with-portal.sh): capture and input
// through the real xdg-desktop-portal frontend and the fake backend, frames
// from the fake PipeWire source, decoded by the room emulator. The source
// paints its frame counter as two rows of 32 blocks (bits, complement) at
// y = 80; the emulator reads them back from the decoded pictures.
#include <Glimra>

#include "../support/streamreceiver.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <signal.h>
#include <time.h>

namespace {

// The counter's rows, and where the frames go when TST_PORTAL_DUMP names a folder.
QStringList receiverArguments()
{
    QStringList args{"--luma-grid", "0,80,1920,80,32,2"};
    if (qEnvironmentVariableIsSet("TST_PORTAL_DUMP"))
        args << "--dump-frames" << qEnvironmentVariable("TST_PORTAL_DUMP") << "--dump-every"
             << "20";
    return args;
}

// The counter painted by the source, or -1 when the picture carries none.
qint64 counterOf(const QJsonObject &pFrame)
{
    const QString bits = pFrame["bits"].toString();
    if (bits.size() != 64)
        return -1;
    quint32 value = 0;
    for (int i = 0; i < 32; ++i) {
        if (bits[i] == bits[32 + i])
            return -1;
        value = (value << 1) | (bits[i] == '1' ? 1u : 0u);
    }
    return value;
}

QString argsOf(const QJsonObject &pCall)
{
    return QString::fromUtf8(QJsonDocument(pCall["args"].toArray()).toJson(QJsonDocument::Compact));
}

bool isFrame(const QJsonObject &pEvent)
{
    return pEvent["event"] == "stream.frame" && pEvent["decoded"].toInt() > 0;
}

// The fake backend's log: one JSON object per call.
class PortalLog {
public:
    QList<QJsonObject> calls(const QString &pCall)
    {
        QFile file(qEnvironmentVariable("FAKE_PORTAL_LOG"));
        QList<QJsonObject> out;
        if (!file.open(QIODevice::ReadOnly))
            return out;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QJsonObject call = QJsonDocument::fromJson(line).object();
            if (call["call"] == pCall)
                out << call;
        }
        return out;
    }
    // The calls of that name logged since the last mark.
    QList<QJsonObject> since(const QString &pCall) { return calls(pCall).mid(marks.value(pCall)); }
    void mark(const QStringList &pCalls)
    {
        for (const QString &call : pCalls)
            marks[call] = calls(call).size();
    }
    QMap<QString, int> marks;
};

void control(const QString &pName, bool pPresent)
{
    QFile file(qEnvironmentVariable("FAKE_PORTAL_DIR") + "/" + pName);
    if (pPresent) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
    } else {
        file.remove();
    }
}

} // namespace

class TstGlimraPortal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void streamsWithRemoteControl();
    void refusedConsentEndsTheStart();
    void stopWhileTheUserDecides();
    void secondStartNeedsNoDialog();
    void frameBeyondItsBufferIsSkipped();
    void noCursorNoMousePosition();

private:
    // Starts a stream and waits for the first decoded frame whose counter reads.
    QJsonObject startAndReadCounter(Glimra &pGlimra, StreamReceiver &pEmulator, bool pRemote, int pStreamId);
    PortalLog mLog;
};

void TstGlimraPortal::initTestCase()
{
    QVERIFY2(!qEnvironmentVariable("FAKE_PORTAL_LOG").isEmpty(), "run under tests/wayland/with-portal.sh");
}

QJsonObject TstGlimraPortal::startAndReadCounter(Glimra &pGlimra, StreamReceiver &pEmulator, bool pRemote,
                                                 int pStreamId)
{
    pGlimra.setStreamedScreen(0);
    pGlimra.remoteInteractionActived(pRemote);
    pGlimra.start();
    pGlimra.streamTo("127.0.0.1", pEmulator.port, unsigned(pStreamId), true);
    // Frames of an earlier stream may still be queued: this one's by its id.
    return pEmulator.waitFor([pStreamId](const QJsonObject &e) {
        return isFrame(e) && e["stream"].toInt() == pStreamId && counterOf(e) >= 0;
    });
}

void TstGlimraPortal::streamsWithRemoteControl()
{
    StreamReceiver emulator;
    QVERIFY(emulator.start(receiverArguments()));
    Glimra glimra;
    const QJsonObject first = startAndReadCounter(glimra, emulator, true, 7);
    QVERIFY2(!first.isEmpty(), "no frame with a readable counter");
    QCOMPARE(first["width"].toInt(), 1920);
    QCOMPARE(first["height"].toInt(), 1080);
    QCOMPARE(glimra.getStreamedScreenWidth(), 1920u);
    QVERIFY(glimra.isStreaming());
    const QList<QJsonObject> starts = mLog.calls("RemoteDesktop.Start");
    QVERIFY(!starts.isEmpty());
    QVERIFY(starts.last()["dialog"].toBool());

    // The counter advances from picture to picture: these are the source's frames.
    const qint64 firstCount = counterOf(first);
    const QJsonObject later =
        emulator.waitFor([firstCount](const QJsonObject &e) { return isFrame(e) && counterOf(e) > firstCount; });
    QVERIFY2(!later.isEmpty(), "the counter did not advance");

    // The pointer where the source's cursor metadata puts it: (300, 200).
    const QJsonObject pointer = emulator.waitFor([](const QJsonObject &e) { return e["event"] == "stream.mousepos"; });
    QVERIFY(!pointer.isEmpty());
    QVERIFY2(qAbs(pointer["x"].toDouble() - 300.0 / 1920) < 0.002 &&
                 qAbs(pointer["y"].toDouble() - 200.0 / 1080) < 0.002,
             qPrintable(QJsonDocument(pointer).toJson(QJsonDocument::Compact)));

    // The session's keyboard was made before the room's first key: a release
    // of left Shift right after the start.
    QTRY_VERIFY_WITH_TIMEOUT(!mLog.calls("RemoteDesktop.NotifyKeyboardKeycode").isEmpty(), 5000);
    const QList<QJsonObject> primed = mLog.calls("RemoteDesktop.NotifyKeyboardKeycode");
    QCOMPARE(primed.last()["session"], starts.last()["session"]);
    QCOMPARE(argsOf(primed.last()), QString("[42,0]"));

    // A click at (0.25, 0.5) and the key A arrive as the portal's calls, at
    // stream coordinates.
    const QStringList inputCalls{"RemoteDesktop.NotifyPointerMotionAbsolute", "RemoteDesktop.NotifyPointerButton",
                                 "RemoteDesktop.NotifyKeyboardKeycode"};
    mLog.mark(inputCalls);
    emulator.command(R"({"cmd":"input","kind":"mouse","pointer":1,"x":0.25,"y":0.5,"action":2,"button":0})");
    emulator.command(R"({"cmd":"input","kind":"mouse","pointer":1,"x":0.25,"y":0.5,"action":1,"button":0})");
    emulator.command(R"({"cmd":"input","kind":"key","action":0,"vk":65,"scan":30})");
    emulator.command(R"({"cmd":"input","kind":"key","action":1,"vk":65,"scan":30})");
    QTRY_COMPARE_WITH_TIMEOUT(mLog.since("RemoteDesktop.NotifyKeyboardKeycode").size(), 2, 10000);
    const QList<QJsonObject> moves = mLog.since("RemoteDesktop.NotifyPointerMotionAbsolute");
    QCOMPARE(moves.size(), 2);
    const quint32 node = quint32(mLog.calls("source").last()["node"].toInt());
    for (const QJsonObject &move : moves) {
        const QJsonArray args = move["args"].toArray();
        QCOMPARE(quint32(args[0].toInt()), node);
        QVERIFY2(qAbs(args[1].toDouble() - 480) <= 1 && qAbs(args[2].toDouble() - 540) <= 1,
                 qPrintable(QJsonDocument(args).toJson(QJsonDocument::Compact)));
    }
    const QList<QJsonObject> buttons = mLog.since("RemoteDesktop.NotifyPointerButton");
    QCOMPARE(buttons.size(), 2);
    QCOMPARE(argsOf(buttons[0]), QString("[272,1]")); // BTN_LEFT pressed
    QCOMPARE(argsOf(buttons[1]), QString("[272,0]"));
    const QList<QJsonObject> keys = mLog.since("RemoteDesktop.NotifyKeyboardKeycode");
    QCOMPARE(argsOf(keys[0]), QString("[30,1]")); // KEY_A
    QCOMPARE(argsOf(keys[1]), QString("[30,0]"));

    // A tap at (0.5, 0.25): one contact down and up again, at stream coordinates.
    mLog.mark({"RemoteDesktop.NotifyTouchDown", "RemoteDesktop.NotifyTouchUp"});
    emulator.command(R"({"cmd":"input","kind":"touch","contact":3,"x":0.5,"y":0.25,"action":2,"flag":1})");
    emulator.command(R"({"cmd":"input","kind":"touch","contact":3,"x":0.5,"y":0.25,"action":1,"flag":1})");
    QTRY_COMPARE_WITH_TIMEOUT(mLog.since("RemoteDesktop.NotifyTouchUp").size(), 1, 10000);
    const QList<QJsonObject> downs = mLog.since("RemoteDesktop.NotifyTouchDown");
    QCOMPARE(downs.size(), 1);
    const QJsonArray down = downs[0]["args"].toArray();
    QCOMPARE(quint32(down[0].toInt()), node);
    QVERIFY2(qAbs(down[2].toDouble() - 960) <= 1 && qAbs(down[3].toDouble() - 270) <= 1, qPrintable(argsOf(downs[0])));
    QCOMPARE(mLog.since("RemoteDesktop.NotifyTouchUp")[0]["args"].toArray(), QJsonArray({down[1]}));

    // The source shrinks to 1280x720: the stream keeps its size and shows the
    // dark placeholder (no counter) until the size comes back.
    const qint64 pid = mLog.calls("source").last()["pid"].toInt();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid_t(pid), SIGUSR1), 0);
    const QJsonObject placeholder =
        emulator.waitFor([](const QJsonObject &e) { return isFrame(e) && e["bits"].toString() == QString(64, '0'); });
    QVERIFY2(!placeholder.isEmpty(), "no placeholder after the source changed size");
    QCOMPARE(placeholder["width"].toInt(), 1920);
    QCOMPARE(placeholder["height"].toInt(), 1080);
    QCOMPARE(::kill(pid_t(pid), SIGUSR1), 0);
    const qint64 lastCount = counterOf(later);
    const double placeholderAt = placeholder["mono_us"].toDouble();
    const QJsonObject back = emulator.waitFor([lastCount, placeholderAt](const QJsonObject &e) {
        return isFrame(e) && e["mono_us"].toDouble() > placeholderAt && counterOf(e) > lastCount;
    });
    QVERIFY2(!back.isEmpty(), "no real picture after the size came back");

    // The source stops drawing: no damage, so no captures; only the
    // top-off frames (one per 500 ms) go on.
    QCOMPARE(::kill(pid_t(pid), SIGUSR2), 0);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now); // the emulator's mono_us clock
    const double stillAt = double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
    QVERIFY(!emulator
                 .waitFor([stillAt](const QJsonObject &e) {
                     return isFrame(e) && e["mono_us"].toDouble() > stillAt + 2.5e6;
                 })
                 .isEmpty());
    int stillFrames = 0;
    for (const QJsonObject &e : emulator.pending)
        stillFrames +=
            isFrame(e) && e["mono_us"].toDouble() > stillAt + 0.5e6 && e["mono_us"].toDouble() <= stillAt + 2.5e6;
    QVERIFY2(stillFrames <= 8, qPrintable(QString("%1 frames in 2 s of a still screen").arg(stillFrames)));
    QCOMPARE(::kill(pid_t(pid), SIGUSR2), 0);

    glimra.stop();
    QVERIFY(!glimra.isStreaming());
    QTRY_COMPARE_WITH_TIMEOUT(mLog.calls("Session.Close").size(), mLog.calls("RemoteDesktop.CreateSession").size(),
                              10000);
}

void TstGlimraPortal::refusedConsentEndsTheStart()
{
    StreamReceiver emulator;
    QVERIFY(emulator.start(receiverArguments()));
    Glimra glimra;
    control("refuse", true);
    mLog.mark({"RemoteDesktop.Start"});
    glimra.setStreamedScreen(0);
    glimra.remoteInteractionActived(true);
    glimra.start();
    glimra.streamTo("127.0.0.1", emulator.port, 8, true);
    QTRY_COMPARE_WITH_TIMEOUT(mLog.since("RemoteDesktop.Start").size(), 1, 10000);
    QVERIFY(!mLog.since("RemoteDesktop.Start").first()["consent"].toBool());
    // The session window polls isStreaming(); a refusal ends the start.
    QTRY_VERIFY_WITH_TIMEOUT(!glimra.isStreaming(), 10000);
    QElapsedTimer stopping;
    stopping.start();
    glimra.stop();
    QVERIFY(stopping.elapsed() < 1000);
    control("refuse", false);

    // The next start asks again, and streams.
    mLog.mark({"RemoteDesktop.Start"});
    const QJsonObject frame = startAndReadCounter(glimra, emulator, true, 9);
    QVERIFY(!frame.isEmpty());
    QCOMPARE(mLog.since("RemoteDesktop.Start").size(), 1);
    QVERIFY(mLog.since("RemoteDesktop.Start").first()["dialog"].toBool());
    glimra.stop();
}

void TstGlimraPortal::stopWhileTheUserDecides()
{
    StreamReceiver emulator;
    QVERIFY(emulator.start(receiverArguments()));
    Glimra glimra;
    control("hold", true);
    mLog.mark({"RemoteDesktop.Start", "Session.Close"});
    glimra.setStreamedScreen(0);
    glimra.remoteInteractionActived(true);
    glimra.start();
    glimra.streamTo("127.0.0.1", emulator.port, 12, true);
    QTRY_COMPARE_WITH_TIMEOUT(mLog.since("RemoteDesktop.Start").size(), 1, 10000);
    QVERIFY(mLog.since("RemoteDesktop.Start").first()["held"].toBool());
    // The dialog is still open: stopping does not wait for the user, and the
    // portal learns that the session is over.
    QElapsedTimer stopping;
    stopping.start();
    glimra.stop();
    QVERIFY(stopping.elapsed() < 1000);
    QTRY_COMPARE_WITH_TIMEOUT(mLog.since("Session.Close").size(), 1, 10000);
    control("hold", false);
    QVERIFY(!startAndReadCounter(glimra, emulator, true, 13).isEmpty());
    glimra.stop();
}

void TstGlimraPortal::secondStartNeedsNoDialog()
{
    // Without remote control a screen cast alone is asked for, which this
    // portal can remember: the second start restores the first consent.
    StreamReceiver emulator;
    QVERIFY(emulator.start(receiverArguments()));
    Glimra glimra;
    mLog.mark({"ScreenCast.Start", "ScreenCast.SelectSources"});
    QVERIFY(!startAndReadCounter(glimra, emulator, false, 10).isEmpty());
    glimra.stop();
    QVERIFY(!startAndReadCounter(glimra, emulator, false, 11).isEmpty());
    glimra.stop();
    const QList<QJsonObject> starts = mLog.since("ScreenCast.Start");
    QCOMPARE(starts.size(), 2);
    QVERIFY(starts[0]["dialog"].toBool());
    QVERIFY2(!starts[1]["dialog"].toBool(), "the second start asked again");
    const QList<QJsonObject> selects = mLog.since("ScreenCast.SelectSources");
    QCOMPARE(selects[0]["options"].toObject()["persist_mode"].toInt(), 2);
    QCOMPARE(selects[0]["options"].toObject()["cursor_mode"].toInt(), 4);
}

namespace {
QMutex gWarningsMutex;
QStringList gWarnings;
QtMessageHandler gPreviousHandler = nullptr;

void keepWarnings(QtMsgType pType, const QMessageLogContext &pContext, const QString &pMessage)
{
    {
        QMutexLocker lock(&gWarningsMutex);
        gWarnings << pMessage;
    }
    gPreviousHandler(pType, pContext, pMessage);
}

bool warned(const QString &pText)
{
    QMutexLocker lock(&gWarningsMutex);
    return std::any_of(gWarnings.begin(), gWarnings.end(), [&](const QString &w) { return w.contains(pText); });
}
} // namespace

void TstGlimraPortal::frameBeyondItsBufferIsSkipped()
{
    // The producer claims rows twice as far apart as its buffer allows: the
    // frame is refused with a warning instead of read beyond the mapping.
    QFile args(qEnvironmentVariable("FAKE_PORTAL_DIR") + "/source-args");
    QVERIFY(args.open(QIODevice::WriteOnly));
    args.write("--bad-stride yes");
    args.close();
    gPreviousHandler = qInstallMessageHandler(keepWarnings);
    StreamReceiver emulator;
    QVERIFY(emulator.start(receiverArguments()));
    Glimra glimra;
    glimra.setStreamedScreen(0);
    glimra.remoteInteractionActived(false);
    glimra.start();
    glimra.streamTo("127.0.0.1", emulator.port, 14, true);
    QTRY_VERIFY_WITH_TIMEOUT(warned("a screen cast buffer smaller than its frame"), 10000);
    glimra.stop();
    qInstallMessageHandler(gPreviousHandler);
    args.remove();
}

void TstGlimraPortal::noCursorNoMousePosition()
{
    // A source without cursor metadata: the pointer's place is unknown, and
    // no "MOUSEPOS" is sent rather than the window system's guess.
    QFile args(qEnvironmentVariable("FAKE_PORTAL_DIR") + "/source-args");
    QVERIFY(args.open(QIODevice::WriteOnly));
    args.write("--cursor none");
    args.close();
    StreamReceiver emulator;
    QVERIFY(emulator.start(receiverArguments()));
    Glimra glimra;
    const QJsonObject first = startAndReadCounter(glimra, emulator, false, 15);
    QVERIFY(!first.isEmpty());
    // Half a second of frames: a pointer position would be due every 30 ms.
    const double firstAt = first["mono_us"].toDouble();
    QVERIFY(!emulator
                 .waitFor([firstAt](const QJsonObject &e) {
                     return isFrame(e) && e["stream"].toInt() == 15 && e["mono_us"].toDouble() > firstAt + 0.5e6;
                 })
                 .isEmpty());
    for (const QJsonObject &e : emulator.pending)
        QVERIFY2(e["event"] != "stream.mousepos", qPrintable(QJsonDocument(e).toJson(QJsonDocument::Compact)));
    glimra.stop();
    args.remove();
}

QTEST_MAIN(TstGlimraPortal)
#include "tst_glimra_portal.moc"
