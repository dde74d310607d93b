// SPDX-License-Identifier: GPL-2.0-or-later
#include "sessionmessage.h"

#include "network/jsonkeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtEndian>

#include <json/json.h>

#include <memory>

namespace Velmorant::Advanced {

namespace {

QByteArray typeWord(SessionMessageType pType)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(static_cast<qint32>(pType), bytes.data());
    return bytes;
}

QByteArray jsonMessage(SessionMessageType pType, const QJsonObject &pBody)
{
    return typeWord(pType) + QJsonDocument(pBody).toJson();
}

// The text up to the first zero byte, or all of it.
QByteArray untilZero(const QByteArray &pBody)
{
    const int zero = pBody.indexOf('\0');
    return zero < 0 ? pBody : pBody.left(zero);
}

bool boolValue(const QJsonObject &pObject, const char *pKey)
{
    const QJsonValue value = pObject.value(QLatin1String(pKey));
    return value.isBool() && value.toBool();
}

// Qt's reader, for the bodies read with it; only an object counts.
bool readJsonObject(const QByteArray &pText, QJsonObject *pObject)
{
    if (!Kiv::Network::hasUniqueKeys(pText))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(pText, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    *pObject = document.object();
    return true;
}

// jsoncpp, as the stream endpoint has always been read. Its accessors throw
// on values of the wrong kind (a negative or fractional "Port", an object
// for "Ip"); such a body counts as not parsing.
bool readStreamStart(const QByteArray &pText, StreamStartBody *pBody)
{
    Json::CharReaderBuilder builder;
    builder["collectComments"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(pText.constData(), pText.constData() + pText.size(), &root, &errors) || !root.isObject())
        return false;
    try {
        pBody->port = static_cast<quint16>(root["Port"].asUInt() & 0xFFFFu);
        pBody->id = root["ID"].asUInt();
        pBody->ip = QString::fromStdString(root["Ip"].asString());
    } catch (const Json::Exception &) {
        return false;
    }
    return true;
}

bool isServerToClient(qint32 pType)
{
    switch (static_cast<SessionMessageType>(pType)) {
    case SessionMessageType::IdentityRequest:
    case SessionMessageType::FileAccepted:
    case SessionMessageType::StreamStart:
    case SessionMessageType::CaptureImage:
    case SessionMessageType::CaptureRefused:
    case SessionMessageType::CaptureError:
    case SessionMessageType::SessionSettings:
    case SessionMessageType::AllowedExtensions:
    case SessionMessageType::RemoteControlQuery:
    case SessionMessageType::FullscreenState:
        return true;
    default:
        return false;
    }
}

bool hasJsonBody(SessionMessageType pType)
{
    return pType == SessionMessageType::StreamStart || pType == SessionMessageType::SessionSettings ||
           pType == SessionMessageType::AllowedExtensions || pType == SessionMessageType::FullscreenState;
}

} // namespace

namespace SessionMessages {

QByteArray greeting()
{
    return QByteArrayLiteral("{ \"connection_type\" : \"CLIENT\"}");
}

QByteArray identity(const QString &pComputerName, const QString &pUserName)
{
    return jsonMessage(SessionMessageType::Identity,
                       {{QStringLiteral("computerName"), pComputerName}, {QStringLiteral("userName"), pUserName}});
}

QByteArray streamRequest()
{
    return typeWord(SessionMessageType::StreamRequest);
}

QByteArray fileRequest(const QString &pFileName)
{
    return jsonMessage(SessionMessageType::FileRequest, {{QStringLiteral("file_name"), pFileName}});
}

QByteArray captureRequest()
{
    return typeWord(SessionMessageType::CaptureRequest);
}

QByteArray noteMessage(const QString &pNoteText)
{
    return jsonMessage(SessionMessageType::NoteMessage, {{QStringLiteral("note_text"), pNoteText}});
}

QByteArray webLinkMessage(const QString &pUrl)
{
    return jsonMessage(SessionMessageType::WebLinkMessage, {{QStringLiteral("url"), pUrl}});
}

QByteArray userNameMessage(const QString &pUserName)
{
    return jsonMessage(SessionMessageType::UserNameMessage, {{QStringLiteral("userName"), pUserName}});
}

QByteArray fileRefused(const QString &pFileName)
{
    return jsonMessage(SessionMessageType::FileRefused, {{QStringLiteral("file_name"), pFileName}});
}

QByteArray remoteControlMessage(bool pRemoteControl)
{
    return jsonMessage(SessionMessageType::RemoteControlMessage, {{QStringLiteral("remoteControl"), pRemoteControl}});
}

QByteArray fullscreenOn()
{
    return typeWord(SessionMessageType::FullscreenOn);
}

QByteArray fullscreenOff()
{
    return typeWord(SessionMessageType::FullscreenOff);
}

QByteArray screenSize(unsigned int pWidth, unsigned int pHeight)
{
    // Integral doubles, which Qt writes without a fraction.
    return jsonMessage(SessionMessageType::ScreenSize, {{QStringLiteral("screenPhysicalWidth"), double(pWidth)},
                                                        {QStringLiteral("screenPhysicalHeight"), double(pHeight)}});
}

} // namespace SessionMessages

// A session payload (the frame's length word is already gone):
//
//   offset 0        4
//          +--------+---------------------------------------------+
//          | type   | body: none | JSON text | int32 | raw bytes   |
//          | int32  | (depends on the type)                       |
//          | LE     |                                             |
//          +--------+---------------------------------------------+
//
// Bodies read here, by type:
//    1 IdentityRequest, 12 CaptureRefused, 13 CaptureError,
//   21 RemoteControlQuery       none; trailing bytes are ignored
//    7 FileAccepted             int32 LE transfer id at offset 4
//    9 StreamStart              JSON {"Port","ID","Ip"} up to the first zero
//                               byte, read with jsoncpp (missing: 0 / "")
//   11 CaptureImage             image file bytes to the end of the payload
//   16 SessionSettings,
//   24 FullscreenState          JSON object up to the first zero byte
//   18 AllowedExtensions        JSON array of strings, the whole body
// Payloads under 4 bytes, unknown types and client-to-server types are
// ignored; JSON bodies over kMaxJsonBodySize are dropped unread, and bodies
// that repeat a key are not read (they make Qt's parser leak).
ReceivedSessionMessage readSessionMessage(const QByteArray &pPayload)
{
    ReceivedSessionMessage message;
    if (pPayload.size() < 4) {
        message.ignoredReason = QStringLiteral("payload of %1 bytes").arg(pPayload.size());
        return message;
    }
    const qint32 type = qFromLittleEndian<qint32>(pPayload.constData());
    if (!isServerToClient(type)) {
        message.ignoredReason = QStringLiteral("type %1 is not a message to the client").arg(type);
        return message;
    }
    const auto kind = static_cast<SessionMessageType>(type);
    const QByteArray body = pPayload.mid(4);
    if (hasJsonBody(kind) && body.size() > kMaxJsonBodySize) {
        message.ignoredReason = QStringLiteral("type %1 with a JSON body of %2 bytes").arg(type).arg(body.size());
        return message;
    }

    switch (kind) {
    case SessionMessageType::FileAccepted:
        if (body.size() < 4) {
            message.ignoredReason = QStringLiteral("FileAccepted without a transfer id");
            return message;
        }
        message.transferId = qFromLittleEndian<qint32>(body.constData());
        break;
    case SessionMessageType::StreamStart:
        message.bodyValid = readStreamStart(untilZero(body), &message.streamStart);
        break;
    case SessionMessageType::CaptureImage:
        message.image = body;
        break;
    case SessionMessageType::SessionSettings:
        message.bodyValid = readJsonObject(untilZero(body), &message.settings);
        break;
    case SessionMessageType::AllowedExtensions: {
        const QJsonDocument document =
            Kiv::Network::hasUniqueKeys(body) ? QJsonDocument::fromJson(body) : QJsonDocument();
        if (!document.isArray()) {
            message.ignoredReason = QStringLiteral("AllowedExtensions that is not a JSON array");
            return message;
        }
        const QJsonArray array = document.array();
        for (const QJsonValue &value : array) {
            if (value.isString())
                message.extensions << value.toString();
        }
        break;
    }
    case SessionMessageType::FullscreenState: {
        QJsonObject object;
        message.bodyValid = readJsonObject(untilZero(body), &object);
        message.fullscreenState.allowFullscreen = boolValue(object, "allowFullscreen");
        message.fullscreenState.isInFullscreen = boolValue(object, "isInFullscreen");
        break;
    }
    default:
        break;
    }
    message.type = kind;
    return message;
}

RoomSettings roomSettingsFrom(const QJsonObject &pSettings)
{
    RoomSettings settings{QStringLiteral("Velmorant Advanced"), false, false};
    const QJsonValue version = pSettings.value(QLatin1String("version"));
    if (version.isUndefined()) {
        settings.title = pSettings.value(QLatin1String("device_name")).toString();
        settings.captureAllowed = boolValue(pSettings, "allowDistantScreenshot");
    } else if (version.isString() && version.toString() == QLatin1String("1")) {
        settings.title = pSettings.value(QLatin1String("device_name")).toString();
        settings.captureAllowed = boolValue(pSettings, "allowDistantScreenshot");
        settings.fullscreenFeature = boolValue(pSettings, "allowStreamFullscreen");
    }
    return settings;
}

} // namespace Velmorant::Advanced
