// SPDX-License-Identifier: GPL-2.0-or-later
// The emulator's discovery, code test, update, session and file transfer
// exchanges, driven by raw-socket peers written from the byte layouts.
#include "framepeer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <csignal>

namespace {
QByteArray discoveryRequest(const QByteArray &code, const QByteArray &client = QByteArrayLiteral("CLIENT"))
{
    return QByteArray(2, '\0') + code + client + QByteArray(1, '\0');
}

QByteArray textField(const QByteArray &answer, int offset, int width)
{
    const QByteArray field = answer.mid(offset, width);
    const int zero = field.indexOf('\0');
    return zero >= 0 ? field.left(zero) : field;
}

QByteArray message(qint32 type, const QByteArray &body = QByteArray())
{
    return le32(static_cast<quint32>(type)) + body;
}

QJsonValue jsonBodyOf(const QByteArray &payload)
{
    const QJsonDocument doc = QJsonDocument::fromJson(payload.mid(4));
    return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

const QByteArray Greeting = QByteArrayLiteral("{ \"connection_type\" : \"CLIENT\"}");

} // namespace

class TestRoomEmulatorExchanges : public QObject {
    Q_OBJECT
private slots:
    void discovery_data();
    void discovery();
    void codeTest_data();
    void codeTest();
    void updateCheck_data();
    void updateCheck();
    void updateDownload();
    void sessionOpening_data();
    void sessionOpening();
    void sessionAnswers();
    void fileTransfer_data();
    void fileTransfer();
    void fileTransferUnknownId();
    void malformedInput_data();
    void malformedInput();
    void faults();
    void commandsAndShutdown();
    void silentSession();
    void requestAnsweredByCommand();
    void helpDocumentsEverything();
};

void TestRoomEmulatorExchanges::discovery_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("users");
    QTest::addColumn<int>("max");
    QTest::newRow("first room") << discoveryRequest("ABCDE") << true << QByteArray("id-a") << QByteArray("Salle A") << 2
                                << 3 << 10;
    QTest::newRow("second room") << discoveryRequest("XY123") << true << QByteArray("id-b")
                                 << QByteArray("Grande salle: vue") << 7 << -1 << 0;
    QTest::newRow("code not hosted") << discoveryRequest("ZZZZZ") << false << QByteArray() << QByteArray() << 0 << 0
                                     << 0;
    QTest::newRow("not CLIENT") << discoveryRequest("ABCDE", "SERVER") << false << QByteArray() << QByteArray() << 0
                                << 0 << 0;
    QTest::newRow("too short") << discoveryRequest("ABCDE").left(12) << false << QByteArray() << QByteArray() << 0 << 0
                               << 0;
}

void TestRoomEmulatorExchanges::discovery()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, answered);
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--room", "ABCDE:Salle A:3:10:2:id-a", "--room", "XY123:Grande salle: vue:-1:0:7:id-b"}));
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress(QHostAddress::LocalHost), 0));
    udp.writeDatagram(request, QHostAddress::LocalHost, emu.udpPort());
    if (!answered) {
        QVERIFY(!emu.waitForEvent("discovery.ignored").isEmpty());
        QVERIFY(!udp.hasPendingDatagrams());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(udp.hasPendingDatagrams(), 20000);
    const QByteArray answer = udp.receiveDatagram().data();
    QCOMPARE(answer.size(), 288);
    QTEST(textField(answer, 0, 16), "id");
    QTEST(textField(answer, 16, 255), "name");
    QCOMPARE(textField(answer, 271, 5), request.mid(2, 5));
    QCOMPARE(readLe16(answer, 276), emu.tcpPort());
    QTEST(int(readLe16(answer, 278)), "type");
    QTEST(int(qint32(readLe32(answer, 280))), "users");
    QTEST(int(qint32(readLe32(answer, 284))), "max");
}

void TestRoomEmulatorExchanges::codeTest_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("valid");
    QTest::newRow("hosted") << "ABCDE" << true;
    QTest::newRow("second hosted") << "XY123" << true;
    QTest::newRow("not hosted") << "QQQQQ" << false;
    QTest::newRow("lower case") << "abcde" << false;
}

void TestRoomEmulatorExchanges::codeTest()
{
    QFETCH(QString, code);
    QFETCH(bool, valid);
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--room", "ABCDE:Salle A:3:10:2:id-a", "--room", "XY123:Salle B:4:5:2:id-b"}));
    FramePeer peer;
    QVERIFY(peer.connectTo(emu.tcpPort()));
    const QJsonObject request{{"connection_type", "CODE_TEST"}, {"client_type", "CLIENT"}, {"code_to_test", code}};
    peer.send(QJsonDocument(request).toJson());
    const QJsonObject answer = QJsonDocument::fromJson(peer.readFrame()).object();
    QCOMPARE(answer.value("is_valid").toBool(), valid);
    if (valid) {
        QCOMPARE(answer.value("id").toString(), code == "ABCDE" ? QString("id-a") : QString("id-b"));
        QCOMPARE(answer.value("name").toString(), code == "ABCDE" ? QString("Salle A") : QString("Salle B"));
        QCOMPARE(answer.value("type").toInt(), 2);
        QCOMPARE(answer.value("users_count").toInt(), code == "ABCDE" ? 3 : 4);
        QCOMPARE(answer.value("max_users_count").toInt(), code == "ABCDE" ? 10 : 5);
    }
}

void TestRoomEmulatorExchanges::updateCheck_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("answer");
    QTest::newRow("up to date") << "0" << 0;
    QTest::newRow("update required") << "2" << 2;
    QTest::newRow("no update") << "4" << 4;
    QTest::newRow("never answered") << "none" << -1;
}

void TestRoomEmulatorExchanges::updateCheck()
{
    QFETCH(QString, option);
    QFETCH(int, answer);
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--update-answer", option}));
    FramePeer peer;
    QVERIFY(peer.connectTo(emu.tcpPort()));
    peer.send(R"({ "connection_type" : "CLIENT_UPDATE", "connection_protocol" : 1, "action" : "check",
                  "applicationName" : "VELM_CLIENT", "applicationVersion" : "25.12.1", "protocolVersion" : "1.2",
                  "platformName" : "linux" })");
    const QJsonObject check = emu.waitForEvent("update.check");
    QCOMPARE(check.value("request").toObject().value("applicationVersion").toString(), QString("25.12.1"));
    if (answer < 0) {
        QVERIFY(check.value("answer").isNull());
        QVERIFY(!peer.socket().waitForReadyRead(300));
        QCOMPARE(peer.socket().state(), QAbstractSocket::ConnectedState);
        return;
    }
    const QByteArray reply = peer.readFrame();
    QVERIFY(!reply.isEmpty());
    QCOMPARE(int(static_cast<unsigned char>(reply.at(0))), answer);
}

void TestRoomEmulatorExchanges::updateDownload()
{
    QTemporaryDir dir;
    QByteArray installer(120000, '\0');
    for (int i = 0; i < installer.size(); ++i)
        installer[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    const QString path = dir.filePath("installer.bin");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(installer);
    f.close();

    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--installer", path}));
    FramePeer peer;
    QVERIFY(peer.connectTo(emu.tcpPort()));
    peer.send(R"({ "connection_type" : "CLIENT_UPDATE", "connection_protocol" : 1, "action" : "get" })");
    const QByteArray header = peer.readFrame();
    QVERIFY(header.size() >= 4);
    QCOMPARE(readLe32(header, 0), 120000u);
    QByteArray received;
    QList<int> sizes;
    while (received.size() < 120000) {
        const QByteArray chunk = peer.readFrame();
        QVERIFY(!chunk.isEmpty());
        sizes.append(chunk.size());
        received += chunk;
        // The next chunk must wait for the acknowledgement.
        QVERIFY(!emu.waitForEvent(
                        "update.chunk",
                        [&](const QJsonObject &e) { return e.value("offset").toInt() == received.size(); }, 300)
                     .size());
        peer.sendRaw(QByteArray(4, '\0'));
    }
    QCOMPARE(sizes, (QList<int>{50000, 50000, 20000}));
    QCOMPARE(received, installer);
    QCOMPARE(emu.waitForEvent("update.done").value("acks").toInt(), 3);
}

void TestRoomEmulatorExchanges::sessionOpening_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QJsonValue>("version");
    QTest::newRow("string version") << QStringList() << QJsonValue("1");
    QTest::newRow("no version") << QStringList{"--settings-version", "none"} << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("number version") << QStringList{"--settings-version", "number"} << QJsonValue(1);
}

void TestRoomEmulatorExchanges::sessionOpening()
{
    QFETCH(QStringList, args);
    QFETCH(QJsonValue, version);
    RoomEmulatorProcess emu;
    QVERIFY(emu.start(args + QStringList{"--keepalive-ms", "200", "--device-name", "Salle 12", "--allow-capture", "no",
                                         "--allowed-ext", "pdf,png"}));
    FramePeer peer;
    QVERIFY(peer.connectTo(emu.tcpPort()));
    peer.send(Greeting);
    QCOMPARE(peer.readFrame(), message(1));
    const QByteArray settings = peer.readFrame();
    QCOMPARE(readLe32(settings, 0), 16u);
    const QJsonObject s = jsonBodyOf(settings).toObject();
    QCOMPARE(s.value("device_name").toString(), QString("Salle 12"));
    QCOMPARE(s.value("allowDistantScreenshot"), QJsonValue(false));
    QCOMPARE(s.value("allowStreamFullscreen"), QJsonValue(true));
    QCOMPARE(s.value("version"), version);
    const QByteArray extensions = peer.readFrame();
    QCOMPARE(readLe32(extensions, 0), 18u);
    QCOMPARE(jsonBodyOf(extensions).toArray(), (QJsonArray{"pdf", "png"}));
    // Keep-alives follow.
    QCOMPARE(peer.readFrame(false), QByteArray(""));
    QVERIFY(emu.waitForEvent("session.greeting").value("exact").toBool());
}

void TestRoomEmulatorExchanges::sessionAnswers()
{
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--stream-ip", "10.1.2.3", "--first-transfer-id", "41", "--capture-answer", "refused"}));
    FramePeer peer;
    QVERIFY(openSession(peer, emu.tcpPort()));

    peer.send(message(2, R"({"computerName":"pc","userName":"Ana"})"));
    QCOMPARE(emu.waitForEvent("session.recv", [](const QJsonObject &e) { return e.value("name") == "Identity"; })
                 .value("body")
                 .toObject()
                 .value("userName")
                 .toString(),
             QString("Ana"));
    peer.send(message(6, R"({"file_name":"a.pdf"})"));
    QCOMPARE(peer.readFrame(), QByteArray::fromHex("0700000029000000"));
    peer.send(message(6, R"({"file_name":"b.pdf"})"));
    QCOMPARE(peer.readFrame(), QByteArray::fromHex("070000002a000000"));
    peer.send(message(3));
    const QByteArray start = peer.readFrame();
    QCOMPARE(readLe32(start, 0), 9u);
    const QJsonObject s = jsonBodyOf(start).toObject();
    QCOMPARE(s.value("Port").toInt(), int(emu.streamPort()));
    QCOMPARE(s.value("ID").toInt(), 1);
    QCOMPARE(s.value("Ip").toString(), QString("10.1.2.3"));
    peer.send(message(10));
    QCOMPARE(peer.readFrame(), message(12));
    peer.send(message(22));
    const QJsonObject fs = jsonBodyOf(peer.readFrame()).toObject();
    QCOMPARE(fs.value("isInFullscreen"), QJsonValue(true));
    QCOMPARE(fs.value("allowFullscreen"), QJsonValue(true));
    peer.send(message(25, R"({"screenPhysicalWidth":1920,"screenPhysicalHeight":1080})"));
    QCOMPARE(emu.waitForEvent("session.recv", [](const QJsonObject &e) { return e.value("name") == "ScreenSize"; })
                 .value("body")
                 .toObject()
                 .value("screenPhysicalWidth")
                 .toInt(),
             1920);
    // Server-to-client messages are sent on command.
    emu.command({{"cmd", "send"}, {"type", "RemoteControlQuery"}});
    QCOMPARE(peer.readFrame(), message(21));
    emu.command({{"cmd", "send"}, {"type", 11}, {"hex", "89504e47"}});
    QCOMPARE(peer.readFrame(), message(11, QByteArray::fromHex("89504e47")));
    emu.command({{"cmd", "kick"}});
    QVERIFY(peer.waitClosed());
}

void TestRoomEmulatorExchanges::fileTransfer_data()
{
    QTest::addColumn<QString>("announced");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<int>("size");
    QTest::newRow("120000 bytes") << "report.pdf"
                                  << "report.pdf" << 120000;
    QTest::newRow("empty file") << "empty.txt"
                                << "empty.txt" << 0;
    QTest::newRow("folders stripped") << "..\\..\\evil.png"
                                      << "evil.png" << 1000;
    QTest::newRow("no name") << ".."
                             << "transfer-1" << 10;
}

void TestRoomEmulatorExchanges::fileTransfer()
{
    QFETCH(QString, announced);
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString saveDir = dir.filePath("inbox/sub");
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--save-dir", saveDir}));
    FramePeer session;
    QVERIFY(openSession(session, emu.tcpPort()));
    session.send(message(6, QJsonDocument(QJsonObject{{"file_name", announced}}).toJson()));
    const QByteArray accepted = session.readFrame();
    QCOMPARE(readLe32(accepted, 0), 7u);
    const int id = static_cast<int>(readLe32(accepted, 4));

    QByteArray content(size, '\0');
    for (int i = 0; i < size; ++i)
        content[i] = static_cast<char>((i * 31 + 7) & 0xff);
    FramePeer transfer;
    QVERIFY(transfer.connectTo(emu.tcpPort()));
    transfer.send(QStringLiteral("{ \"connection_type\" : \"FILE_TRANSFER\", \"transfer_id\" : %1 }").arg(id).toUtf8());
    QVERIFY(!transfer.readFrame().isEmpty());
    transfer.send(le32(1) + le32(static_cast<quint32>(size)));
    int sent = 0;
    do {
        const QByteArray piece = content.mid(sent, 50000);
        transfer.send(le32(2) + piece);
        sent += piece.size();
    } while (sent < size);
    QVERIFY(!transfer.readFrame().isEmpty());

    const QJsonObject event = emu.waitForEvent("file.saved");
    QFETCH(QString, saved);
    const QString expected =
        QDir(saveDir).filePath(saved == "transfer-1" ? QStringLiteral("transfer-%1").arg(id) : saved);
    QCOMPARE(event.value("path").toString(), expected);
    QCOMPARE(event.value("sha256").toString(),
             QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()));
    QFile f(expected);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
    QCOMPARE(QDir(saveDir).entryList(QDir::Files).size(), 1);
}

void TestRoomEmulatorExchanges::fileTransferUnknownId()
{
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({}));
    FramePeer transfer;
    QVERIFY(transfer.connectTo(emu.tcpPort()));
    transfer.send("{ \"connection_type\" : \"FILE_TRANSFER\", \"transfer_id\" : 99 }");
    QVERIFY(transfer.waitClosed());
    QVERIFY(!emu.waitForEvent("conn.malformed").isEmpty());
}

void TestRoomEmulatorExchanges::malformedInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("inSession");
    QTest::newRow("oversized length") << le32(0x7fffffff) + QByteArray(64, 'x') << false;
    QTest::newRow("negative length") << le32(0xfffffff0u) << false;
    QTest::newRow("length over 64 MiB") << le32(64u * 1024 * 1024 + 1) << false;
    QTest::newRow("not JSON") << frameOf(QByteArray::fromHex("00ff00ff")) << false;
    QTest::newRow("unknown connection type") << frameOf(R"({"connection_type":"NOPE"})") << false;
    QTest::newRow("session message without type word") << frameOf("ab") << true;
    QTest::newRow("session oversized") << le32(0x40000000) << true;
}

void TestRoomEmulatorExchanges::malformedInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, inSession);
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({}));
    FramePeer peer;
    if (inSession)
        QVERIFY(openSession(peer, emu.tcpPort()));
    else
        QVERIFY(peer.connectTo(emu.tcpPort()));
    peer.sendRaw(bytes);
    QVERIFY(peer.waitClosed());
    QVERIFY(!emu.waitForEvent("conn.malformed").isEmpty());
    // Still serving.
    FramePeer next;
    QVERIFY(openSession(next, emu.tcpPort()));
}

void TestRoomEmulatorExchanges::faults()
{
    {
        RoomEmulatorProcess emu;
        QVERIFY(emu.start({"--fault", "garbage"}));
        FramePeer peer;
        QVERIFY(openSession(peer, emu.tcpPort()));
        QCOMPARE(peer.readFrame(), QByteArray::fromHex("0102"));
    }
    {
        RoomEmulatorProcess emu;
        QVERIFY(emu.start({"--fault", "oversized-frame"}));
        FramePeer peer;
        QVERIFY(openSession(peer, emu.tcpPort()));
        QByteArray length;
        QVERIFY(peer.readExactly(4, &length));
        QCOMPARE(readLe32(length, 0), 0x7fffffffu);
    }
    {
        RoomEmulatorProcess emu;
        QVERIFY(emu.start({"--fault", "close-mid-transfer"}));
        FramePeer session;
        QVERIFY(openSession(session, emu.tcpPort()));
        session.send(message(6, R"({"file_name":"x.pdf"})"));
        const int id = static_cast<int>(readLe32(session.readFrame(), 4));
        FramePeer transfer;
        QVERIFY(transfer.connectTo(emu.tcpPort()));
        transfer.send(
            QStringLiteral("{ \"connection_type\" : \"FILE_TRANSFER\", \"transfer_id\" : %1 }").arg(id).toUtf8());
        QVERIFY(!transfer.readFrame().isEmpty());
        transfer.send(le32(1) + le32(100000));
        transfer.send(le32(2) + QByteArray(50000, 'a'));
        QVERIFY(transfer.waitClosed());
        QVERIFY(!emu.waitForEvent("file.aborted").isEmpty());
    }
}

void TestRoomEmulatorExchanges::commandsAndShutdown()
{
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--room", "ABCDE:Salle A:3:10:2:id-a"}));
    emu.command({{"cmd", "users"}, {"code", "ABCDE"}, {"users", 9}, {"max", 12}});
    QVERIFY(!emu.waitForEvent("cmd.ok").isEmpty());
    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress(QHostAddress::LocalHost), 0));
    udp.writeDatagram(discoveryRequest("ABCDE"), QHostAddress::LocalHost, emu.udpPort());
    QTRY_VERIFY_WITH_TIMEOUT(udp.hasPendingDatagrams(), 20000);
    const QByteArray answer = udp.receiveDatagram().data();
    QCOMPARE(qint32(readLe32(answer, 280)), 9);
    QCOMPARE(qint32(readLe32(answer, 284)), 12);

    emu.command({{"cmd", "discovery"}, {"on", false}});
    QVERIFY(!emu.waitForEvent("cmd.ok").isEmpty());
    udp.writeDatagram(discoveryRequest("ABCDE"), QHostAddress::LocalHost, emu.udpPort());
    QCOMPARE(emu.waitForEvent("discovery.ignored").value("reason").toString(), QString("answering off"));

    emu.command({{"cmd", "no-such-command"}});
    QVERIFY(!emu.waitForEvent("cmd.error").isEmpty());
    emu.process().write("not json at all\n");
    QVERIFY(!emu.waitForEvent("cmd.error").isEmpty());

    FramePeer peer;
    QVERIFY(openSession(peer, emu.tcpPort()));
    ::kill(static_cast<pid_t>(emu.process().processId()), SIGTERM);
    QVERIFY(emu.process().waitForFinished(20000));
    QCOMPARE(emu.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(emu.process().exitCode(), 0);
    QVERIFY(peer.waitClosed());
    QVERIFY(!emu.waitForEvent("exit").isEmpty());
}

void TestRoomEmulatorExchanges::silentSession()
{
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--fault", "silent"}));
    FramePeer peer;
    QVERIFY(peer.connectTo(emu.tcpPort()));
    peer.send(Greeting);
    QVERIFY(!emu.waitForEvent("session.open").isEmpty());
    // Opening messages would have been logged together with session.open.
    emu.command({{"cmd", "status"}});
    QCOMPARE(emu.waitForEvent("status").value("sessions").toArray().size(), 1);
    QVERIFY(emu.take("session.send").isEmpty());
    QCOMPARE(peer.socket().bytesAvailable(), 0);
}

void TestRoomEmulatorExchanges::requestAnsweredByCommand()
{
    QTemporaryDir dir;
    RoomEmulatorProcess emu;
    QVERIFY(emu.start({"--no-answer", "FileRequest", "--no-answer", "StreamRequest", "--save-dir", dir.path()}));
    FramePeer session;
    QVERIFY(openSession(session, emu.tcpPort()));
    session.send(message(6, R"({"file_name":"late.txt"})"));
    QVERIFY(emu.waitForEvent("session.recv").value("unanswered").toBool());
    session.send(message(3));
    QVERIFY(emu.waitForEvent("session.recv").value("unanswered").toBool());
    emu.command({{"cmd", "send"}, {"type", "FileAccepted"}, {"int", 77}});
    QCOMPARE(session.readFrame(), QByteArray::fromHex("070000004d000000"));
    emu.command({{"cmd", "send"}, {"type", "StreamStart"}, {"text", "not json"}});
    QCOMPARE(session.readFrame(), message(9, "not json"));

    FramePeer transfer;
    QVERIFY(transfer.connectTo(emu.tcpPort()));
    transfer.send("{ \"connection_type\" : \"FILE_TRANSFER\", \"transfer_id\" : 77 }");
    QVERIFY(!transfer.readFrame().isEmpty());
    transfer.send(le32(1) + le32(3));
    transfer.send(le32(2) + "abc");
    QVERIFY(!transfer.readFrame().isEmpty());
    QCOMPARE(emu.waitForEvent("file.saved").value("path").toString(), QDir(dir.path()).filePath("late.txt"));
}

void TestRoomEmulatorExchanges::helpDocumentsEverything()
{
    QProcess p;
    p.start(qEnvironmentVariable("VELMORANT_ROOM_EMULATOR"), {"--help"});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 0);
    const QString help = QString::fromUtf8(p.readAllStandardOutput());
    const QStringList documented{"--bind",
                                 "--udp-port",
                                 "--udp-share",
                                 "--no-discovery",
                                 "--tcp-port",
                                 "--announce-port",
                                 "--stream-port",
                                 "--stream-ip",
                                 "--room",
                                 "--update-answer",
                                 "--installer",
                                 "--chunk-size",
                                 "--save-dir",
                                 "--settings-version",
                                 "--device-name",
                                 "--allow-capture",
                                 "--allow-fullscreen",
                                 "--allowed-ext",
                                 "--keepalive-ms",
                                 "--client-timeout-ms",
                                 "--capture-image",
                                 "--capture-answer",
                                 "--first-transfer-id",
                                 "--first-stream-id",
                                 "--return-data",
                                 "--dump-frames",
                                 "--dump-every",
                                 "--luma-block",
                                 "--luma-grid",
                                 "--fault",
                                 "--slow-rate",
                                 "--events",
                                 "--quit-on-eof",
                                 "--max-connections",
                                 "--display",
                                 "--display-geometry",
                                 "display.stream",
                                 "display.note",
                                 "display.item",
                                 "\"send\"",
                                 "\"raw\"",
                                 "\"kick\"",
                                 "\"silent\"",
                                 "\"users\"",
                                 "\"discovery\"",
                                 "\"input\"",
                                 "\"pending\"",
                                 "\"returndata\"",
                                 "\"stream-disconnect\"",
                                 "\"status\"",
                                 "\"quit\"",
                                 "no-keepalive",
                                 "close-mid-transfer",
                                 "garbage",
                                 "oversized-frame",
                                 "slow-stream"};
    for (const QString &item : documented)
        QVERIFY2(help.contains(item), qPrintable(item));

    p.start(qEnvironmentVariable("VELMORANT_ROOM_EMULATOR"), {"--fault", "nonsense"});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitCode(), 2);
    for (const char *geometry : {"10x10", "800x600+1", "wide"}) {
        p.start(qEnvironmentVariable("VELMORANT_ROOM_EMULATOR"), {"--display-geometry", geometry});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 2);
    }
    // The window without an X server: a clear word, not Qt's abort.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("VELMORANT_ROOM_EMULATOR"), {"--display", "--tcp-port", "0", "--udp-port", "0"});
    QVERIFY(p.waitForFinished(20000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 2);
    QVERIFY(p.readAllStandardError().contains("DISPLAY"));
}

QTEST_GUILESS_MAIN(TestRoomEmulatorExchanges)
#include "tst_roomemulator_exchanges.moc"
