// SPDX-License-Identifier: GPL-2.0-or-later
// The room display window of the emulator, on a real X server: what it shows
// is read back from screenshots of the window, what it sends back from raw
// stream and session peers.
#include "framepeer.h"
#include "streampeer.h"

#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QTemporaryDir>

#include <cmath>

namespace {
QByteArray message(qint32 type, const QByteArray &body = QByteArray())
{
    return le32(static_cast<quint32>(type)) + body;
}

QByteArray json(const QJsonObject &o)
{
    return QJsonDocument(o).toJson();
}

QRect rectOf(const QJsonObject &e)
{
    return QRect(e.value("x").toInt(), e.value("y").toInt(), e.value("width").toInt(), e.value("height").toInt());
}

// Next session message of this type; null when none comes.
QByteArray readMessage(FramePeer &peer, qint32 type)
{
    for (;;) {
        const QByteArray m = peer.readFrame();
        if (m.size() < 4)
            return QByteArray();
        if (static_cast<qint32>(readLe32(m, 0)) == type)
            return m;
    }
}

// The window as the X server shows it, taken by an outside tool.
QImage screenshot(qint64 window, QString *error)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("window.png");
    QProcess p;
    p.start("import", {"-window", QString::number(window), path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        *error = "import failed: " + QString::fromLocal8Bit(p.readAllStandardError());
        return QImage();
    }
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

bool xdotool(const QStringList &args)
{
    QProcess p;
    p.start("xdotool", args);
    return p.waitForFinished(20000) && p.exitCode() == 0;
}

// Mean of the central half of a block, so edges blurred by scaling and
// compression do not count.
QColor meanColour(const QImage &image, const QRect &block)
{
    const QRect inner(block.x() + block.width() / 4, block.y() + block.height() / 4, block.width() / 2,
                      block.height() / 2);
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            r += qRed(c);
            g += qGreen(c);
            b += qBlue(c);
            ++n;
        }
    }
    return n ? QColor(int(r / n), int(g / n), int(b / n)) : QColor();
}

int meanLuma(const QImage &image, const QRect &block)
{
    const QColor c = meanColour(image, block);
    return qGray(c.red(), c.green(), c.blue());
}

// A stream command from the CONTROLS connection, past any moves.
QByteArray nextInput(FramePeer &controls, const char *name, bool skipMoves = true)
{
    for (;;) {
        const QByteArray f = controls.readFrame();
        if (f.isNull())
            return f;
        if (!f.startsWith(commandOf(name)))
            continue;
        if (skipMoves && QByteArray(name) == "MOUS_EVENT" && f.size() >= 24 && f.at(22) == 0)
            continue;
        return f;
    }
}

float floatAt(const QByteArray &b, int offset)
{
    const quint32 bits = readLe32(b, offset);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

// Quadrants white, black / black, white: a picture shown mirrored, flipped
// or cropped fails at least one block.
const char *const Quadrants = "color=c=white:size=320x240:rate=25,"
                              "drawbox=x=160:y=0:w=160:h=120:color=black:t=fill,"
                              "drawbox=x=0:y=120:w=160:h=120:color=black:t=fill";
} // namespace

class TestRoomEmulatorDisplay : public QObject {
    Q_OBJECT
private slots:
    void showsStreamAndSendsInput();
    void notesLinksFilesAndCapture();
    void fullscreen_data();
    void fullscreen();
    void hostileInputKeepsWindowAlive();
};

void TestRoomEmulatorDisplay::showsStreamAndSendsInput()
{
    QString error;
    const QList<QByteArray> units = encode(Quadrants, 3, &error);
    if (units.isEmpty())
        QFAIL(qPrintable(error));
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--display", "--display-geometry", "1100x700+0+0", "--room", "QX7RT:Salle bleue"}));
    const QJsonObject shown = emu.waitForEvent("display.shown");
    QVERIFY2(!shown.isEmpty(), "the window was not shown");
    const qint64 window = static_cast<qint64>(shown.value("window").toDouble());

    // Idle, the room code is up: bright strokes in the middle of the stream area.
    QImage idle = screenshot(window, &error);
    QVERIFY2(!idle.isNull(), qPrintable(error));
    int bright = 0;
    for (int y = 160; y < 270; y += 5) {
        for (int x = 100; x < 680; ++x)
            bright += qGray(idle.pixel(x, y)) > 200;
    }
    QVERIFY2(bright > 10, "no room code drawn");

    FramePeer video, controls;
    QVERIFY(openStream(video, emu.streamPort(), 21, true));
    QVERIFY(openStream(controls, emu.streamPort(), 21, false));
    for (const QByteArray &unit : units)
        video.send(commandOf("FRAME", unit));
    const QJsonObject placed = emu.waitForEvent("display.stream");
    QVERIFY2(!placed.isEmpty(), "the picture was not placed");
    QCOMPARE(placed.value("stream").toInt(), 21);
    QCOMPARE(placed.value("picture_width").toInt(), 320);
    QVERIFY(!placed.value("fullscreen").toBool());
    const QRect picture = rectOf(placed);
    // Fitted with its aspect kept, inside the window.
    QVERIFY2(std::abs(picture.width() * 240 - picture.height() * 320) <= 320,
             qPrintable(QString::number(picture.width())));
    QVERIFY(QRect(0, 0, 1100, 700).contains(picture));
    QVERIFY(picture.width() > 400);

    const QImage shot = screenshot(window, &error);
    QVERIFY2(!shot.isNull(), qPrintable(error));
    const int w = picture.width() / 2, h = picture.height() / 2;
    const int expected[4] = {255, 0, 0, 255};
    for (int q = 0; q < 4; ++q) {
        const QRect block(picture.x() + (q % 2) * w, picture.y() + (q / 2) * h, w, h);
        const int luma = meanLuma(shot, block);
        QVERIFY2(std::abs(luma - expected[q]) < 30, qPrintable(QString("quadrant %1: luma %2").arg(q).arg(luma)));
    }
    // Outside the picture: the window's own background, not the stream.
    QVERIFY(meanLuma(shot, QRect(picture.right() + 2, picture.y() + 10, 10, 10)) < 60 ||
            picture.right() + 14 >= 1100 - 320);

    // A click on the picture comes back as the room's mouse, in fractions
    // of the picture.
    const QPointF at(0.3, 0.7);
    const QPoint click(picture.x() + qRound(at.x() * picture.width()), picture.y() + qRound(at.y() * picture.height()));
    QVERIFY(xdotool({"mousemove", "--window", QString::number(window), QString::number(click.x()),
                     QString::number(click.y()), "click", "1"}));
    QByteArray press = nextInput(controls, "MOUS_EVENT");
    QCOMPARE(press.size(), 24);
    QCOMPARE(int(press.at(22)), 2); // press
    QCOMPARE(int(press.at(23)), 0); // left button
    QVERIFY2(std::abs(floatAt(press, 14) - at.x()) < 0.01, qPrintable(QString::number(floatAt(press, 14))));
    QVERIFY2(std::abs(floatAt(press, 18) - at.y()) < 0.01, qPrintable(QString::number(floatAt(press, 18))));
    const QByteArray release = nextInput(controls, "MOUS_EVENT");
    QCOMPARE(int(release.at(22)), 1);
    QCOMPARE(readLe32(release, 10), readLe32(press, 10)); // same pointer

    // Right button and the wheel.
    QVERIFY(xdotool({"click", "3"}));
    press = nextInput(controls, "MOUS_EVENT");
    QCOMPARE(int(press.at(22)), 2);
    QCOMPARE(int(press.at(23)), 2);
    QCOMPARE(int(nextInput(controls, "MOUS_EVENT").at(22)), 1);
    QVERIFY(xdotool({"click", "4"}));
    const QByteArray wheel = nextInput(controls, "MOUS_EVENT");
    QCOMPARE(int(wheel.at(22)), 3);
    QCOMPARE(floatAt(wheel, 14), 120.0f);

    // Keys go back as the room's keyboard: 'a' by its scan code, Up as an
    // extended key (virtual key in both fields).
    QVERIFY(xdotool({"windowfocus", "--sync", QString::number(window)}));
    QVERIFY(xdotool({"key", "a", "Up"}));
    const QList<QByteArray> keys{commandOf("KEYB_EVENT", QByteArray::fromHex("0041001e00")),
                                 commandOf("KEYB_EVENT", QByteArray::fromHex("0141001e00")),
                                 commandOf("KEYB_EVENT", QByteArray::fromHex("0026002600")),
                                 commandOf("KEYB_EVENT", QByteArray::fromHex("0126002600"))};
    for (const QByteArray &k : keys)
        QCOMPARE(nextInput(controls, "KEYB_EVENT").toHex(), k.toHex());

    // The sender's cursor is drawn where MOUSEPOS puts it.
    video.send(commandOf("MOUSEPOS", f32(0.75f) + f32(0.25f) + le32(0) + le32(0)));
    QVERIFY(!emu.waitForEvent("stream.mousepos").isEmpty());
    emu.command({{"cmd", "status"}});
    QVERIFY(!emu.waitForEvent("status").isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QImage s = screenshot(window, &error);
            const QPoint tip(picture.x() + picture.width() * 3 / 4, picture.y() + picture.height() / 4);
            // Black quadrant under the tip: the white arrow shows on it.
            return !s.isNull() && qGray(s.pixel(tip + QPoint(3, 8))) > 200;
        }(),
        10000);

    // The stream ends: back to the room code.
    video.send(commandOf("DISCONNECT"));
    QVERIFY(!emu.waitForEvent("stream.flush").isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QImage s = screenshot(window, &error);
            return !s.isNull() && meanLuma(s, QRect(picture.x(), picture.y(), w, h)) < 100;
        }(),
        10000);
}

void TestRoomEmulatorDisplay::notesLinksFilesAndCapture()
{
    QTemporaryDir dir;
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--display", "--display-geometry", "1000x640+0+0"}));
    const QJsonObject shown = emu.waitForEvent("display.shown");
    QVERIFY(!shown.isEmpty());
    const qint64 window = static_cast<qint64>(shown.value("window").toDouble());
    FramePeer session;
    QVERIFY(openSession(session, emu.tcpPort()));

    struct Case {
        const char *noteText;
        const char *color;
        const char *tag;
        const char *text;
        std::function<bool(const QColor &)> looks;
    };
    const Case cases[] = {
        {"#color=0\n#tag=1\nHi", "BLUE", "STAR", "Hi",
         [](const QColor &c) { return c.blue() > 170 && c.blue() > c.red() + 80; }},
        {"#color=2\n#tag=0\nUrgent\nsecond line", "RED", "", "Urgent\nsecond line",
         [](const QColor &c) { return c.red() > 180 && c.red() > c.blue() + 80; }},
        {"#color=3\n#tag=7\nGris", "GRAY", "CHECK", "Gris",
         [](const QColor &c) { return c.red() > 180 && std::abs(c.red() - c.blue()) < 25; }},
        {"#color=1\n#tag=9\nOk", "GREEN", "FORBIDDEN", "Ok",
         [](const QColor &c) { return c.green() > 130 && c.green() > c.red() + 60; }},
    };
    QJsonObject lastNote;
    for (const Case &c : cases) {
        session.send(message(14, json({{"note_text", c.noteText}})));
        const QJsonObject note = emu.waitForEvent("display.note");
        QVERIFY2(!note.isEmpty(), c.noteText);
        QCOMPARE(note.value("color").toString(), QString(c.color));
        QCOMPARE(note.value("tag").toString(), QString(c.tag));
        QCOMPARE(note.value("text").toString(), QString(c.text));
        QString error;
        const QImage shot = screenshot(window, &error);
        QVERIFY2(!shot.isNull(), qPrintable(error));
        // The lower half of the paper holds little text: its colour is the note's.
        const QRect r = rectOf(note);
        const QColor seen = meanColour(shot, QRect(r.x(), r.y() + r.height() / 2, r.width(), r.height() / 2));
        QVERIFY2(c.looks(seen), qPrintable(QString("%1 looks %2").arg(c.color, seen.name())));
        lastNote = note;
    }

    session.send(message(15, json({{"url", "https://intranet.example/agenda"}})));
    QJsonObject item = emu.waitForEvent("display.item");
    QCOMPARE(item.value("kind").toString(), QString("link"));
    QCOMPARE(item.value("text").toString(), QString("https://intranet.example/agenda"));

    QByteArray data(150000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 7 + i / 251) & 0xff);
    session.send(message(6, json({{"file_name", "Bilan 2026.pdf"}})));
    const QByteArray accepted = readMessage(session, 7);
    QCOMPARE(accepted.size(), 8);
    FramePeer transfer;
    QVERIFY(transfer.connectTo(emu.tcpPort()));
    transfer.send(QString("{ \"connection_type\" : \"FILE_TRANSFER\", \"transfer_id\" : %1}")
                      .arg(readLe32(accepted, 4))
                      .toUtf8());
    QVERIFY(!transfer.readFrame().isNull());
    transfer.send(le32(1) + le32(static_cast<quint32>(data.size())));
    transfer.send(le32(2) + data.left(100000));
    transfer.send(le32(2) + data.mid(100000));
    item = emu.waitForEvent("display.item");
    QCOMPARE(item.value("kind").toString(), QString("file"));
    QCOMPARE(item.value("text").toString(), QString("Bilan 2026.pdf"));
    QCOMPARE(item.value("size").toInt(), data.size());
    const QString sha = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    QCOMPARE(item.value("sha256").toString(), sha.left(12));

    // A capture request is answered with the window itself.
    session.send(message(10));
    const QByteArray capture = readMessage(session, 11);
    QVERIFY(capture.size() > 4);
    const QImage image = QImage::fromData(capture.mid(4), "PNG").convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(shown.value("width").toInt(), shown.value("height").toInt()));
    const QRect r = rectOf(lastNote);
    const QColor seen = meanColour(image, QRect(r.x(), r.y() + r.height() / 2, r.width(), r.height() / 2));
    QVERIFY2(seen.green() > seen.red() + 60, qPrintable(seen.name()));
}

void TestRoomEmulatorDisplay::fullscreen_data()
{
    QTest::addColumn<bool>("allowed");
    QTest::newRow("allowed: the stream takes the window") << true;
    QTest::newRow("not allowed: answered, not taken") << false;
}

void TestRoomEmulatorDisplay::fullscreen()
{
    QFETCH(bool, allowed);
    QString error;
    const QList<QByteArray> units = encode(Quadrants, 2, &error);
    if (units.isEmpty())
        QFAIL(qPrintable(error));
    RoomEmulatorProcess emu;
    QVERIFY(
        emu.start({"--display", "--display-geometry", "960x600+0+0", "--allow-fullscreen", allowed ? "yes" : "no"}));
    QVERIFY(!emu.waitForEvent("display.shown").isEmpty());
    FramePeer session, video;
    QVERIFY(openSession(session, emu.tcpPort()));
    QVERIFY(openStream(video, emu.streamPort(), 3, true));
    for (const QByteArray &unit : units)
        video.send(commandOf("FRAME", unit));
    const QRect before = rectOf(emu.waitForEvent("display.stream"));
    QVERIFY(!before.isEmpty());

    session.send(message(22));
    const QJsonObject state = QJsonDocument::fromJson(readMessage(session, 24).mid(4)).object();
    QCOMPARE(state.value("isInFullscreen").toBool(), allowed);
    if (allowed) {
        const QJsonObject full =
            emu.waitForEvent("display.stream", [](const QJsonObject &e) { return e.value("fullscreen").toBool(); });
        QVERIFY2(!full.isEmpty(), "the stream did not take the window");
        const QRect r = rectOf(full);
        QVERIFY2(r.width() == 960 || r.height() == 600, qPrintable(QString("%1x%2").arg(r.width()).arg(r.height())));
        QVERIFY(r.width() > before.width());
        session.send(message(23));
        const QJsonObject back =
            emu.waitForEvent("display.stream", [](const QJsonObject &e) { return !e.value("fullscreen").toBool(); });
        QCOMPARE(rectOf(back), before);
        const auto layout = [&emu](bool on) {
            return !emu.waitForEvent("display.fullscreen",
                                     [on](const QJsonObject &e) { return e.value("on").toBool() == on; })
                        .isEmpty();
        };
        QVERIFY(layout(true));
        QVERIFY(layout(false));
        // Full screen belongs to the stream: when it ends, the room shows
        // its code, notes and items again.
        session.send(message(22));
        QVERIFY(layout(true));
        video.send(commandOf("DISCONNECT"));
        QVERIFY(layout(false));
    } else {
        // The answer went out before any change would have: once a later
        // command is answered, no change can still be on its way.
        emu.command({{"cmd", "status"}});
        QVERIFY(!emu.waitForEvent("status").isEmpty());
        QVERIFY(emu.take("display.fullscreen").isEmpty());
    }
}

void TestRoomEmulatorDisplay::hostileInputKeepsWindowAlive()
{
    QString error;
    const QList<QByteArray> units = encode(Quadrants, 2, &error);
    if (units.isEmpty())
        QFAIL(qPrintable(error));
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--display", "--display-geometry", "900x600+0+0"}));
    QVERIFY(!emu.waitForEvent("display.shown").isEmpty());
    FramePeer session;
    QVERIFY(openSession(session, emu.tcpPort()));

    // Notes: a megabyte of text with control characters, unknown codes,
    // a number instead of text, a name that is all control characters.
    QByteArray huge = "#color=8\n#tag=2\n" + QByteArray(1 << 20, 'x');
    huge[5000] = '\x01';
    session.send(message(14, json({{"note_text", QString::fromLatin1(huge)}})));
    QJsonObject note = emu.waitForEvent("display.note");
    QCOMPARE(note.value("color").toString(), QString("ORANGE"));
    QVERIFY(note.value("text").toString().size() <= 401);
    session.send(message(14, json({{"note_text", "#color=99\n#tag=42\nodd codes"}})));
    note = emu.waitForEvent("display.note");
    QCOMPARE(note.value("color").toString(), QString("YELLOW"));
    QCOMPARE(note.value("tag").toString(), QString());
    session.send(message(14, json({{"note_text", 12}})));
    QVERIFY(!emu.waitForEvent("display.note").isEmpty());
    session.send(message(15, QByteArray("{\"url\": \"\x01\x02\x03\"}")));
    session.send(message(17, json({{"userName", QString(5000, QChar(0x263a))}})));

    // A cursor that is not a position, and pictures that change size.
    FramePeer video;
    QVERIFY(openStream(video, emu.streamPort(), 8, true));
    video.send(commandOf("MOUSEPOS", f32(NAN) + f32(INFINITY) + le32(0) + le32(0)));
    video.send(commandOf("MOUSEPOS", f32(-1e30f) + f32(2.0f) + le32(0) + le32(0)));
    for (const QByteArray &unit : units)
        video.send(commandOf("FRAME", unit));
    QVERIFY(!emu.waitForEvent("display.stream").isEmpty());
    const QList<QByteArray> small = encode("testsrc=size=64x48:rate=25", 2, &error);
    QVERIFY2(!small.isEmpty(), qPrintable(error));
    for (const QByteArray &unit : small)
        video.send(commandOf("FRAME", unit));
    QVERIFY(
        !emu.waitForEvent("display.stream", [](const QJsonObject &e) { return e.value("picture_width").toInt() == 64; })
             .isEmpty());

    // Still answering, on the same process.
    emu.command({{"cmd", "status"}});
    QVERIFY(!emu.waitForEvent("status").isEmpty());
    QCOMPARE(emu.process().state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestRoomEmulatorDisplay)
#include "tst_roomemulator_display.moc"
