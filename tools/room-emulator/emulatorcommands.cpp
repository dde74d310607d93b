// SPDX-License-Identifier: GPL-2.0-or-later
// The control commands of Emulator, read as JSON lines from standard input.
#include "connection.h"
#include "discoveryresponder.h"
#include "emulator.h"
#include "eventlog.h"
#include "session.h"
#include "sessionmessage.h"
#include "streamconnection.h"
#include "streamreceiver.h"
#include "wire.h"

#include <QJsonArray>
#include <QJsonDocument>

Session *Emulator::findSession(const QJsonObject &command) const
{
    const int wanted = command.value(QStringLiteral("session")).toInt(-1);
    for (auto it = m_sessions.crbegin(); it != m_sessions.crend(); ++it) {
        Session *s = *it;
        if (s && s->connection()->isOpen() && (wanted < 0 || s->id() == wanted))
            return s;
    }
    return nullptr;
}

bool Emulator::sendStreamCommand(const QJsonObject &command, const char *name, const QByteArray &arguments,
                                 const QString &defaultRole, QString *error)
{
    const qint64 stream = static_cast<qint64>(command.value(QStringLiteral("stream")).toDouble(-1));
    const QString role = command.value(QStringLiteral("conn")).toString(defaultRole);
    StreamConnection *target = m_streams->find(stream, role);
    if (!target) {
        *error = QStringLiteral("no such stream connection");
        return false;
    }
    target->sendCommand(name, arguments);
    return true;
}

QJsonObject Emulator::status() const
{
    QJsonArray rooms;
    for (const Room &r : m_rooms.all())
        rooms.append(QJsonObject{{QStringLiteral("code"), r.code},
                                 {QStringLiteral("users"), r.usersCount},
                                 {QStringLiteral("max"), r.maxUsersCount}});
    QJsonArray sessions;
    for (const QPointer<Session> &s : m_sessions) {
        if (s && s->connection()->isOpen())
            sessions.append(s->id());
    }
    QJsonArray streams;
    for (StreamConnection *c : m_streams->connections())
        streams.append(QJsonObject{{QStringLiteral("conn"), c->connection()->id()},
                                   {QStringLiteral("stream"), static_cast<double>(c->streamId())},
                                   {QStringLiteral("role"), c->role()},
                                   {QStringLiteral("frames"), c->framesReceived()}});
    return {{QStringLiteral("rooms"), rooms},
            {QStringLiteral("sessions"), sessions},
            {QStringLiteral("streams"), streams},
            {QStringLiteral("connections"), Connection::openCount()},
            {QStringLiteral("discovery"), m_discovery->answering()},
            {QStringLiteral("silent"), Connection::silent()}};
}

void Emulator::execute(const QJsonObject &command)
{
    const QString cmd = command.value(QStringLiteral("cmd")).toString();
    QString error;
    bool ok = true;
    auto number = [&](const char *key, double fallback = 0) {
        return command.value(QLatin1String(key)).toDouble(fallback);
    };

    if (cmd == QLatin1String("send") || cmd == QLatin1String("raw")) {
        Session *s = findSession(command);
        qint32 type = 0;
        if (!s) {
            ok = false;
            error = QStringLiteral("no such session");
        } else if (cmd == QLatin1String("raw")) {
            s->sendRawFrame(QByteArray::fromHex(command.value(QStringLiteral("hex")).toString().toLatin1()));
        } else if (!sessionmessage::typeFromText(command.value(QStringLiteral("type")).toVariant().toString(), &type)) {
            ok = false;
            error = QStringLiteral("unknown message type");
        } else if (command.contains(QStringLiteral("body"))) {
            const QJsonValue body = command.value(QStringLiteral("body"));
            if (body.isObject() || body.isArray()) {
                s->sendJson(type, body);
            } else {
                ok = false;
                error = QStringLiteral("\"body\" must be a JSON object or array");
            }
        } else if (command.contains(QStringLiteral("text"))) {
            const QString text = command.value(QStringLiteral("text")).toString();
            s->sendMessage(type, text.toUtf8(), text);
        } else if (command.contains(QStringLiteral("hex"))) {
            const QByteArray body = QByteArray::fromHex(command.value(QStringLiteral("hex")).toString().toLatin1());
            s->sendMessage(type, body, QString::fromLatin1(body.toHex()));
        } else if (command.contains(QStringLiteral("int"))) {
            QByteArray body;
            wire::appendI32(body, static_cast<qint32>(number("int")));
            s->sendMessage(type, body, static_cast<qint32>(number("int")));
            // A transfer accepted by hand is received like any other.
            if (type == sessionmessage::FileAccepted)
                registerTransfer(static_cast<qint32>(number("int")), s->lastFileName());
        } else {
            s->sendMessage(type, QByteArray());
        }
    } else if (cmd == QLatin1String("kick")) {
        const bool all = command.value(QStringLiteral("all")).toBool();
        int kicked = 0;
        for (const QPointer<Session> &s : m_sessions) {
            if (s && s->connection()->isOpen() && (all || s == findSession(command))) {
                s->connection()->close(QStringLiteral("kicked"));
                ++kicked;
            }
        }
        if (kicked == 0) {
            ok = false;
            error = QStringLiteral("no such session");
        }
    } else if (cmd == QLatin1String("silent")) {
        Connection::setSilent(command.value(QStringLiteral("on")).toBool(true));
    } else if (cmd == QLatin1String("users")) {
        Room *room = m_rooms.find(command.value(QStringLiteral("code")).toString());
        if (!room) {
            ok = false;
            error = QStringLiteral("no such room");
        } else {
            room->usersCount = static_cast<qint32>(number("users", room->usersCount));
            room->maxUsersCount = static_cast<qint32>(number("max", room->maxUsersCount));
        }
    } else if (cmd == QLatin1String("discovery")) {
        m_discovery->setAnswering(command.value(QStringLiteral("on")).toBool(true));
    } else if (cmd == QLatin1String("input")) {
        const QString kind = command.value(QStringLiteral("kind")).toString();
        QByteArray args;
        const char *name = nullptr;
        if (kind == QLatin1String("mouse") || kind == QLatin1String("rpos")) {
            name = kind == QLatin1String("mouse") ? "MOUS_EVENT" : "RPOS_EVENT";
            wire::appendI32(args, static_cast<qint32>(number("pointer")));
            wire::appendF32(args, static_cast<float>(number("x")));
            wire::appendF32(args, static_cast<float>(number("y")));
            wire::appendU8(args, static_cast<quint8>(number("action")));
            wire::appendU8(args, static_cast<quint8>(number("button")));
        } else if (kind == QLatin1String("key")) {
            name = "KEYB_EVENT";
            wire::appendU8(args, static_cast<quint8>(number("action")));
            wire::appendU16(args, static_cast<quint16>(number("vk")));
            wire::appendU16(args, static_cast<quint16>(number("scan")));
        } else if (kind == QLatin1String("touch")) {
            name = "TACT_EVENT";
            wire::appendI32(args, static_cast<qint32>(number("contact")));
            wire::appendF32(args, static_cast<float>(number("x")));
            wire::appendF32(args, static_cast<float>(number("y")));
            wire::appendI32(args, static_cast<qint32>(number("action")));
            wire::appendI32(args, static_cast<qint32>(number("flag")));
        }
        if (!name) {
            ok = false;
            error = QStringLiteral("kind must be mouse, rpos, key or touch");
        } else {
            ok = sendStreamCommand(command, name, args, QStringLiteral("controls"), &error);
        }
    } else if (cmd == QLatin1String("pending")) {
        QByteArray args;
        wire::appendI32(args, static_cast<qint32>(number("frames")));
        ok = sendStreamCommand(command, "PENDINGFRA", args, QStringLiteral("video"), &error);
    } else if (cmd == QLatin1String("returndata")) {
        ok = sendStreamCommand(command, "RETURNDATA", QByteArray(), QStringLiteral("video"), &error);
    } else if (cmd == QLatin1String("stream-disconnect")) {
        const qint64 stream = static_cast<qint64>(number("stream", -1));
        StreamConnection *any = m_streams->find(stream, QStringLiteral("video"));
        if (!any) {
            ok = false;
            error = QStringLiteral("no such stream");
        } else {
            const qint64 id = any->streamId();
            for (StreamConnection *c : m_streams->connections()) {
                if (c->streamId() == id) {
                    c->sendCommand("DISCONNECT");
                    c->connection()->close(QStringLiteral("sent DISCONNECT"));
                }
            }
        }
    } else if (cmd == QLatin1String("status")) {
        events().write(QStringLiteral("status"), status());
    } else if (cmd == QLatin1String("quit")) {
        events().write(QStringLiteral("cmd.ok"), {{QStringLiteral("cmd"), cmd}});
        shutdown(QStringLiteral("quit command"));
        return;
    } else {
        ok = false;
        error = QStringLiteral("unknown command");
    }
    if (ok)
        events().write(QStringLiteral("cmd.ok"), {{QStringLiteral("cmd"), cmd}});
    else
        events().write(QStringLiteral("cmd.error"), {{QStringLiteral("cmd"), cmd}, {QStringLiteral("error"), error}});
}
