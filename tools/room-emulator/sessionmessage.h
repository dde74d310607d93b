// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// Session messages after the greeting:
//
//   +----------------------+---------------------------------+
//   | 0..3 type (i32 LE)   | 4.. body (none, JSON, i32, raw) |
//   +----------------------+---------------------------------+
namespace sessionmessage {

enum Type : qint32 {
    IdentityRequest = 1,
    Identity = 2,
    StreamRequest = 3,
    FileRequest = 6,
    FileAccepted = 7,
    StreamStart = 9,
    CaptureRequest = 10,
    CaptureImage = 11,
    CaptureRefused = 12,
    CaptureError = 13,
    NoteMessage = 14,
    WebLinkMessage = 15,
    SessionSettings = 16,
    UserNameMessage = 17,
    AllowedExtensions = 18,
    FileRefused = 19,
    RemoteControlMessage = 20,
    RemoteControlQuery = 21,
    FullscreenOn = 22,
    FullscreenOff = 23,
    FullscreenState = 24,
    ScreenSize = 25,
};

QString name(qint32 type);
// Type by name or decimal number; false when unknown.
bool typeFromText(const QString &text, qint32 *type);

QByteArray build(qint32 type, const QByteArray &body = QByteArray());
QByteArray buildJson(qint32 type, const QJsonValue &body);

// Body as JSON when it parses (up to the first zero byte), else null.
QJsonValue jsonBody(const QByteArray &body);

} // namespace sessionmessage
