// SPDX-License-Identifier: GPL-2.0-or-later
#include "sessionmessage.h"

#include "wire.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sessionmessage {

namespace {
struct Entry {
    qint32 type;
    const char *name;
};
const Entry Names[] = {
    {IdentityRequest, "IdentityRequest"},
    {Identity, "Identity"},
    {StreamRequest, "StreamRequest"},
    {FileRequest, "FileRequest"},
    {FileAccepted, "FileAccepted"},
    {StreamStart, "StreamStart"},
    {CaptureRequest, "CaptureRequest"},
    {CaptureImage, "CaptureImage"},
    {CaptureRefused, "CaptureRefused"},
    {CaptureError, "CaptureError"},
    {NoteMessage, "NoteMessage"},
    {WebLinkMessage, "WebLinkMessage"},
    {SessionSettings, "SessionSettings"},
    {UserNameMessage, "UserNameMessage"},
    {AllowedExtensions, "AllowedExtensions"},
    {FileRefused, "FileRefused"},
    {RemoteControlMessage, "RemoteControlMessage"},
    {RemoteControlQuery, "RemoteControlQuery"},
    {FullscreenOn, "FullscreenOn"},
    {FullscreenOff, "FullscreenOff"},
    {FullscreenState, "FullscreenState"},
    {ScreenSize, "ScreenSize"},
};
} // namespace

QString name(qint32 type)
{
    for (const Entry &e : Names) {
        if (e.type == type)
            return QString::fromLatin1(e.name);
    }
    return QStringLiteral("Unknown");
}

bool typeFromText(const QString &text, qint32 *type)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (ok) {
        *type = n;
        return true;
    }
    for (const Entry &e : Names) {
        if (text == QLatin1String(e.name)) {
            *type = e.type;
            return true;
        }
    }
    return false;
}

QByteArray build(qint32 type, const QByteArray &body)
{
    QByteArray out;
    wire::appendI32(out, type);
    out.append(body);
    return out;
}

QByteArray buildJson(qint32 type, const QJsonValue &body)
{
    QJsonDocument doc;
    if (body.isArray())
        doc = QJsonDocument(body.toArray());
    else
        doc = QJsonDocument(body.toObject());
    return build(type, doc.toJson());
}

QJsonValue jsonBody(const QByteArray &body)
{
    const int zero = body.indexOf('\0');
    const QByteArray text = zero >= 0 ? body.left(zero) : body;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return QJsonValue();
    if (doc.isArray())
        return doc.array();
    return doc.object();
}

} // namespace sessionmessage
