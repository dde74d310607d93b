// SPDX-License-Identifier: GPL-2.0-or-later
#include "session.h"

#include "connection.h"
#include "emulator.h"
#include "eventlog.h"
#include "roomactivity.h"
#include "sessionmessage.h"
#include "wire.h"

#include <QJsonArray>
#include <QJsonObject>

using namespace sessionmessage;

namespace {
int g_nextSessionId = 1;
} // namespace

Session::Session(Connection *connection, Emulator *emulator)
    : QObject(connection), m_connection(connection), m_emulator(emulator), m_id(g_nextSessionId++)
{
    connect(connection, &Connection::frameReceived, this, &Session::onFrame);
    connect(connection, &Connection::closing, this, [this](const QString &reason) {
        events().write(QStringLiteral("session.closed"),
                       {{QStringLiteral("session"), m_id}, {QStringLiteral("reason"), reason}});
        m_emulator->activity()->sessionClosed(m_id);
    });
}

void Session::start()
{
    const EmulatorOptions &o = m_emulator->options();
    events().write(QStringLiteral("session.open"), {{QStringLiteral("session"), m_id},
                                                    {QStringLiteral("conn"), m_connection->id()},
                                                    {QStringLiteral("peer"), m_connection->peer()}});
    m_emulator->activity()->sessionOpened(m_id);
    m_connection->setIdleTimeout(o.clientTimeoutMs);
    if (o.hasFault("silent"))
        return;
    sendMessage(IdentityRequest, QByteArray());
    QJsonObject settings{{QStringLiteral("device_name"), o.deviceName},
                         {QStringLiteral("allowDistantScreenshot"), o.allowCapture},
                         {QStringLiteral("allowStreamFullscreen"), o.allowFullscreen}};
    if (o.settingsVersionPresent) {
        if (o.settingsVersionIsNumber)
            settings.insert(QStringLiteral("version"), o.settingsVersionValue.toDouble());
        else
            settings.insert(QStringLiteral("version"), o.settingsVersionValue);
    }
    sendJson(SessionSettings, settings);
    sendJson(AllowedExtensions, QJsonArray::fromStringList(o.allowedExtensions));
    if (o.hasFault("garbage"))
        sendGarbage();
    if (o.hasFault("oversized-frame")) {
        sendOversized();
        return;
    }
    if (!o.hasFault("no-keepalive"))
        m_connection->setKeepAlive(o.keepAliveMs);
}

void Session::sendMessage(qint32 type, const QByteArray &body, const QJsonValue &logged)
{
    if (m_broken)
        return;
    m_connection->send(build(type, body));
    QJsonObject e{{QStringLiteral("session"), m_id},
                  {QStringLiteral("type"), type},
                  {QStringLiteral("name"), name(type)},
                  {QStringLiteral("size"), 4 + body.size()}};
    if (!logged.isUndefined() && !logged.isNull())
        e.insert(QStringLiteral("body"), logged);
    events().write(QStringLiteral("session.send"), e);
}

void Session::sendJson(qint32 type, const QJsonValue &body)
{
    const QByteArray payload = buildJson(type, body);
    sendMessage(type, payload.mid(4), body);
}

void Session::sendRawFrame(const QByteArray &payload)
{
    if (m_broken)
        return;
    m_connection->send(payload);
    events().write(QStringLiteral("session.send_raw"), {{QStringLiteral("session"), m_id},
                                                        {QStringLiteral("size"), payload.size()},
                                                        {QStringLiteral("bytes"), wire::preview(payload, 64)}});
}

void Session::sendGarbage()
{
    // Each is wrong in a different way; a sound client drops them all.
    sendRawFrame(QByteArray::fromHex("0102"));
    sendRawFrame(build(SessionSettings, QByteArrayLiteral("{ \"version\" : ")));
    sendRawFrame(build(StreamStart, QByteArrayLiteral("[1, 2, 3]")));
    sendRawFrame(build(FileAccepted, QByteArray::fromHex("2a00")));
    sendRawFrame(build(999, QByteArray::fromHex("deadbeef00ff")));
    sendRawFrame(build(AllowedExtensions, QByteArrayLiteral("{\"not\" : \"an array\"}")));
    sendRawFrame(build(FullscreenState, QByteArray::fromHex("00ff00ff")));
}

void Session::sendOversized()
{
    QByteArray bytes;
    wire::appendU32(bytes, 0x7fffffffu);
    bytes.append(QByteArray(16, 'x'));
    m_connection->sendRaw(bytes);
    events().write(
        QStringLiteral("session.send_raw"),
        {{QStringLiteral("session"), m_id}, {QStringLiteral("announced"), 2147483647.0}, {QStringLiteral("size"), 16}});
    // The stream is out of step from here on: nothing else may follow.
    m_broken = true;
}

void Session::onFrame(const QByteArray &payload)
{
    if (payload.size() < 4) {
        events().write(QStringLiteral("conn.malformed"),
                       {{QStringLiteral("conn"), m_connection->id()},
                        {QStringLiteral("session"), m_id},
                        {QStringLiteral("error"), QStringLiteral("session message shorter than its type word")},
                        {QStringLiteral("bytes"), wire::preview(payload)}});
        m_connection->close(QStringLiteral("malformed session message"));
        return;
    }
    const qint32 type = wire::i32(payload.constData());
    const QByteArray body = payload.mid(4);
    QJsonObject e{{QStringLiteral("session"), m_id},
                  {QStringLiteral("type"), type},
                  {QStringLiteral("name"), name(type)},
                  {QStringLiteral("size"), payload.size()}};
    const EmulatorOptions &o = m_emulator->options();
    if (type == FileRequest)
        m_lastFileName = jsonBody(body).toObject().value(QStringLiteral("file_name")).toString();
    if (!o.answers(name(type))) {
        e.insert(QStringLiteral("unanswered"), true);
        if (jsonBody(body).isObject())
            e.insert(QStringLiteral("body"), jsonBody(body));
        events().write(QStringLiteral("session.recv"), e);
        return;
    }

    switch (type) {
    case Identity:
    case FileRequest:
    case NoteMessage:
    case WebLinkMessage:
    case UserNameMessage:
    case FileRefused:
    case RemoteControlMessage:
    case ScreenSize: {
        const QJsonValue json = jsonBody(body);
        if (json.isObject())
            e.insert(QStringLiteral("body"), json);
        else
            e.insert(QStringLiteral("error"), QStringLiteral("body is not a JSON object"));
        events().write(QStringLiteral("session.recv"), e);
        if (json.isObject())
            showOnDisplay(type, json.toObject());
        if (type == FileRequest && json.isObject()) {
            const QString fileName = json.toObject().value(QStringLiteral("file_name")).toString();
            QByteArray id;
            wire::appendI32(id, m_emulator->acceptTransfer(fileName));
            sendMessage(FileAccepted, id, wire::i32(id.constData()));
        }
        break;
    }
    case StreamRequest:
        events().write(QStringLiteral("session.recv"), e);
        sendJson(StreamStart, m_emulator->nextStreamStart());
        break;
    case CaptureRequest:
        events().write(QStringLiteral("session.recv"), e);
        if (o.captureAnswer == QLatin1String("refused")) {
            sendMessage(CaptureRefused, QByteArray());
        } else if (o.captureAnswer == QLatin1String("error")) {
            sendMessage(CaptureError, QByteArray());
        } else {
            const QByteArray image = m_emulator->captureImage();
            sendMessage(CaptureImage, image, QJsonObject{{QStringLiteral("image_bytes"), image.size()}});
        }
        break;
    case FullscreenOn:
    case FullscreenOff:
        events().write(QStringLiteral("session.recv"), e);
        m_fullscreen = type == FullscreenOn && o.allowFullscreen;
        m_emulator->activity()->setFullscreen(m_id, m_fullscreen);
        sendJson(FullscreenState, QJsonObject{{QStringLiteral("allowFullscreen"), o.allowFullscreen},
                                              {QStringLiteral("isInFullscreen"), m_fullscreen}});
        break;
    default:
        e.insert(QStringLiteral("bytes"), wire::preview(body));
        events().write(QStringLiteral("session.unknown"), e);
        break;
    }
}

void Session::showOnDisplay(qint32 type, const QJsonObject &body)
{
    RoomActivity *activity = m_emulator->activity();
    switch (type) {
    case Identity:
    case UserNameMessage:
        activity->userNamed(m_id, body.value(QStringLiteral("userName")).toString());
        break;
    case NoteMessage:
        activity->noteArrived(body.value(QStringLiteral("note_text")).toString());
        break;
    case WebLinkMessage:
        activity->linkArrived(body.value(QStringLiteral("url")).toString());
        break;
    default:
        break;
    }
}
