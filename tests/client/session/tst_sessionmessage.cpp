// SPDX-License-Identifier: GPL-2.0-or-later
// The session messages byte for byte: every payload the client writes, every
// one it reads (bodies cut at a zero byte, capped JSON, direction and length
// checks) and the room settings rule.
#include "sessionmessage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace Velmorant::Advanced;

namespace {

QByteArray word(qint32 pType)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(pType, bytes.data());
    return bytes;
}

QJsonObject jsonBody(const QByteArray &pPayload)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(pPayload.mid(4), &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject{{"unparsable", true}};
}

} // namespace

class TestSessionMessage : public QObject {
    Q_OBJECT
private slots:
    void greetingIsTheBareText()
    {
        const QByteArray greeting = SessionMessages::greeting();
        QCOMPARE(greeting.size(), 31);
        QCOMPARE(greeting, QByteArray("{ \"connection_type\" : \"CLIENT\"}"));
    }

    void bodylessMessagesAreFourBytes_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("StreamRequest") << SessionMessages::streamRequest() << QByteArray("03000000");
        QTest::newRow("CaptureRequest") << SessionMessages::captureRequest() << QByteArray("0a000000");
        QTest::newRow("FullscreenOn") << SessionMessages::fullscreenOn() << QByteArray("16000000");
        QTest::newRow("FullscreenOff") << SessionMessages::fullscreenOff() << QByteArray("17000000");
    }
    void bodylessMessagesAreFourBytes()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, hex);
        QCOMPARE(payload.toHex(), hex);
    }

    void jsonMessages_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("type");
        QTest::addColumn<QJsonObject>("body");
        QTest::newRow("Identity") << SessionMessages::identity("pc-12", "Zoé") << 2
                                  << QJsonObject{{"computerName", "pc-12"}, {"userName", "Zoé"}};
        QTest::newRow("FileRequest") << SessionMessages::fileRequest("plan.pdf") << 6
                                     << QJsonObject{{"file_name", "plan.pdf"}};
        QTest::newRow("NoteMessage") << SessionMessages::noteMessage("#color=0\n#tag=1\nHi") << 14
                                     << QJsonObject{{"note_text", "#color=0\n#tag=1\nHi"}};
        QTest::newRow("WebLinkMessage") << SessionMessages::webLinkMessage("https://example.org/") << 15
                                        << QJsonObject{{"url", "https://example.org/"}};
        QTest::newRow("UserNameMessage") << SessionMessages::userNameMessage("Anne") << 17
                                         << QJsonObject{{"userName", "Anne"}};
        QTest::newRow("FileRefused") << SessionMessages::fileRefused("a.exe") << 19
                                     << QJsonObject{{"file_name", "a.exe"}};
        QTest::newRow("RemoteControlMessage")
            << SessionMessages::remoteControlMessage(true) << 20 << QJsonObject{{"remoteControl", true}};
        QTest::newRow("ScreenSize") << SessionMessages::screenSize(1920, 1080) << 25
                                    << QJsonObject{{"screenPhysicalWidth", 1920}, {"screenPhysicalHeight", 1080}};
    }
    void jsonMessages()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, type);
        QFETCH(QJsonObject, body);
        QCOMPARE(payload.left(4), word(type));
        QCOMPARE(jsonBody(payload), body);
    }

    void screenSizeNumbersHaveNoFraction()
    {
        const QByteArray payload = SessionMessages::screenSize(1364, 768);
        QVERIFY(payload.contains("\"screenPhysicalWidth\": 1364"));
        QVERIFY(payload.contains("\"screenPhysicalHeight\": 768"));
        QVERIFY(!payload.contains('.'));
    }

    void fileAcceptedReadsItsId()
    {
        const QByteArray payload = QByteArray::fromHex("070000002a000000");
        const ReceivedSessionMessage message = readSessionMessage(payload);
        QCOMPARE(message.type, SessionMessageType::FileAccepted);
        QCOMPARE(message.transferId, 42);
        QCOMPARE(readSessionMessage(QByteArray::fromHex("07000000ffffffff")).transferId, -1);
    }

    // What the client ignores entirely.
    void ignoredPayloads_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("three bytes") << QByteArray::fromHex("010000");
        QTest::newRow("unknown 5") << word(5);
        QTest::newRow("unknown 30") << word(30) + "{}";
        QTest::newRow("negative") << word(-1);
        for (int clientType : {2, 3, 6, 10, 14, 15, 17, 19, 20, 22, 23, 25})
            QTest::newRow(qPrintable(QString("client type %1").arg(clientType))) << word(clientType) + "{}";
        QTest::newRow("FileAccepted without id") << QByteArray::fromHex("070000002a00");
        QTest::newRow("extensions not an array") << word(18) + "{\"not\" : \"an array\"}";
        QTest::newRow("oversized settings")
            << word(16) + "{\"device_name\":\"" + QByteArray(kMaxJsonBodySize, 'x') + "\"}";
        QTest::newRow("oversized extensions") << word(18) + "[" + QByteArray(kMaxJsonBodySize, ' ') + "]";
    }
    void ignoredPayloads()
    {
        QFETCH(QByteArray, payload);
        const ReceivedSessionMessage message = readSessionMessage(payload);
        QCOMPARE(message.type, SessionMessageType::None);
        QVERIFY(!message.ignoredReason.isEmpty());
    }

    void bodylessServerMessagesIgnoreTrailingBytes()
    {
        for (int type : {1, 12, 13, 21}) {
            QCOMPARE(int(readSessionMessage(word(type)).type), type);
            QCOMPARE(int(readSessionMessage(word(type) + "junk").type), type);
        }
    }

    void jsonBodiesEndAtTheFirstZeroByte()
    {
        const QByteArray tail = QByteArray("\0garbage}{", 10);
        const ReceivedSessionMessage settings =
            readSessionMessage(word(16) + "{\"version\":\"1\",\"device_name\":\"Salle 4\"}" + tail);
        QVERIFY(settings.bodyValid);
        QCOMPARE(settings.settings.value("device_name").toString(), QString("Salle 4"));

        const ReceivedSessionMessage state =
            readSessionMessage(word(24) + "{\"allowFullscreen\":true,\"isInFullscreen\":true}" + tail);
        QVERIFY(state.bodyValid);
        QVERIFY(state.fullscreenState.allowFullscreen);
        QVERIFY(state.fullscreenState.isInFullscreen);

        const ReceivedSessionMessage start =
            readSessionMessage(word(9) + "{\"Port\":5000,\"ID\":7,\"Ip\":\"10.0.0.2\"}" + tail);
        QVERIFY(start.bodyValid);
        QCOMPARE(start.streamStart.port, quint16(5000));
    }

    void invalidJsonKeepsTheTypeButNotTheBody()
    {
        // Repeated keys: honest rooms never send them, and Qt's parser leaks on them.
        for (int type : {16, 24}) {
            const ReceivedSessionMessage message = readSessionMessage(word(type) + "{\"a\":[1],\"a\":1}");
            QCOMPARE(int(message.type), type);
            QVERIFY(!message.bodyValid);
        }
        QCOMPARE(readSessionMessage(word(18) + "[{\"a\":[1],\"a\":1}]").type, SessionMessageType::None);
        for (int type : {9, 16, 24}) {
            const ReceivedSessionMessage message = readSessionMessage(word(type) + "{ \"version\" : ");
            QCOMPARE(int(message.type), type);
            QVERIFY(!message.bodyValid);
        }
        // A state that does not parse changes nothing: both flags read false.
        const ReceivedSessionMessage state = readSessionMessage(word(24) + QByteArray::fromHex("00ff00ff"));
        QVERIFY(!state.bodyValid);
    }

    void streamStart_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("port");
        QTest::addColumn<uint>("id");
        QTest::addColumn<QString>("ip");
        QTest::newRow("all keys") << QByteArray("{\"Port\":50002,\"ID\":4000000000,\"Ip\":\"127.0.0.1\"}") << true
                                  << 50002 << 4000000000u << "127.0.0.1";
        QTest::newRow("missing keys") << QByteArray("{}") << true << 0 << 0u << "";
        QTest::newRow("port low 16 bits")
            << QByteArray("{\"Port\":70000,\"ID\":1,\"Ip\":\"a\"}") << true << 4464 << 1u << "a";
        QTest::newRow("comment") << QByteArray("{\"Port\":9 /* stream */,\"ID\":2,\"Ip\":\"h\"}") << true << 9 << 2u
                                 << "h";
        QTest::newRow("number as Ip") << QByteArray("{\"Port\":9,\"ID\":2,\"Ip\":12}") << true << 9 << 2u << "12";
        QTest::newRow("negative port") << QByteArray("{\"Port\":-1,\"ID\":2,\"Ip\":\"h\"}") << false << 0 << 0u << "";
        QTest::newRow("fractional id") << QByteArray("{\"Port\":9,\"ID\":2.5,\"Ip\":\"h\"}") << true << 9 << 2u << "h";
        QTest::newRow("port beyond 32 bits")
            << QByteArray("{\"Port\":1e10,\"ID\":2,\"Ip\":\"h\"}") << false << 0 << 0u << "";
        QTest::newRow("object as Ip") << QByteArray("{\"Port\":9,\"ID\":2,\"Ip\":{}}") << false << 0 << 0u << "";
        QTest::newRow("array") << QByteArray("[1, 2, 3]") << false << 0 << 0u << "";
    }
    void streamStart()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, valid);
        const ReceivedSessionMessage message = readSessionMessage(word(9) + body);
        QCOMPARE(message.type, SessionMessageType::StreamStart);
        QCOMPARE(message.bodyValid, valid);
        if (!valid)
            return;
        QFETCH(int, port);
        QFETCH(uint, id);
        QFETCH(QString, ip);
        QCOMPARE(int(message.streamStart.port), port);
        QCOMPARE(message.streamStart.id, quint32(id));
        QCOMPARE(message.streamStart.ip, ip);
    }

    void allowedExtensionsKeepTheStrings()
    {
        const ReceivedSessionMessage message = readSessionMessage(word(18) + "[\"pdf\", 3, \"png\", null]");
        QCOMPARE(message.type, SessionMessageType::AllowedExtensions);
        QCOMPARE(message.extensions, QStringList({"pdf", "png"}));
    }

    void captureImageIsTheRawRest()
    {
        const QByteArray image = QByteArray("\x89PNG\r\n\x1a\n\0\0", 10);
        const ReceivedSessionMessage message = readSessionMessage(word(11) + image);
        QCOMPARE(message.type, SessionMessageType::CaptureImage);
        QCOMPARE(message.image, image);
    }

    void roomSettings_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("capture");
        QTest::addColumn<bool>("fullscreen");
        const QByteArray rest = ",\"device_name\":\"Salle 4\",\"allowDistantScreenshot\":true,"
                                "\"allowStreamFullscreen\":true}";
        QTest::newRow("version \"1\"") << "{\"version\":\"1\"" + rest << "Salle 4" << true << true;
        QTest::newRow("version 1 (number)") << "{\"version\":1" + rest << "Velmorant Advanced" << false << false;
        QTest::newRow("version \"2\"") << "{\"version\":\"2\"" + rest << "Velmorant Advanced" << false << false;
        QTest::newRow("no version") << "{\"x\":0" + rest << "Salle 4" << true << false;
        QTest::newRow("missing booleans")
            << QByteArray("{\"version\":\"1\",\"device_name\":\"S\"}") << "S" << false << false;
        QTest::newRow("booleans as text")
            << QByteArray("{\"version\":\"1\",\"device_name\":\"S\",\"allowDistantScreenshot\":\"true\","
                          "\"allowStreamFullscreen\":1}")
            << "S" << false << false;
    }
    void roomSettings()
    {
        QFETCH(QByteArray, json);
        const RoomSettings settings = roomSettingsFrom(QJsonDocument::fromJson(json).object());
        QTEST(settings.title, "title");
        QTEST(settings.captureAllowed, "capture");
        QTEST(settings.fullscreenFeature, "fullscreen");
    }
};

QTEST_GUILESS_MAIN(TestSessionMessage)
#include "tst_sessionmessage.moc"
