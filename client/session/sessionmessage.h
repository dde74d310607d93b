// SPDX-License-Identifier: GPL-2.0-or-later
// The messages of a session connection: writers for everything the client
// sends, one reader for everything a room sends. Pure functions, any thread.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace Velmorant::Advanced {

enum class SessionMessageType : qint32 {
    None = 0, // not a message the client acts on
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

// A JSON body from the room larger than this is dropped unread: honest
// bodies are a few hundred bytes, and Qt's parser leaks on repeated keys.
constexpr int kMaxJsonBodySize = 64 * 1024;

namespace SessionMessages {
// The first payload of every session connection; it has no type word.
QByteArray greeting();
QByteArray identity(const QString &pComputerName, const QString &pUserName);
QByteArray streamRequest();
QByteArray fileRequest(const QString &pFileName);
QByteArray captureRequest();
QByteArray noteMessage(const QString &pNoteText);
QByteArray webLinkMessage(const QString &pUrl);
QByteArray userNameMessage(const QString &pUserName);
QByteArray fileRefused(const QString &pFileName);
QByteArray remoteControlMessage(bool pRemoteControl);
QByteArray fullscreenOn();
QByteArray fullscreenOff();
QByteArray screenSize(unsigned int pWidth, unsigned int pHeight);
} // namespace SessionMessages

struct StreamStartBody {
    quint16 port = 0; // the low 16 bits of "Port"
    quint32 id = 0;
    QString ip;
};

struct FullscreenStateBody {
    bool allowFullscreen = false;
    bool isInFullscreen = false;
};

// One message from the room, decoded. `type` is None for anything the client
// ignores (too short, unknown, client-to-server, a body too short or too big).
// `bodyValid` is false when the body of StreamStart, SessionSettings or
// FullscreenState does not parse; the type is kept, since a failed
// StreamStart still ends a pending start.
struct ReceivedSessionMessage {
    SessionMessageType type = SessionMessageType::None;
    bool bodyValid = true;
    qint32 transferId = 0;               // FileAccepted
    StreamStartBody streamStart;         // StreamStart
    QJsonObject settings;                // SessionSettings
    QStringList extensions;              // AllowedExtensions
    FullscreenStateBody fullscreenState; // FullscreenState
    QByteArray image;                    // CaptureImage
    QString ignoredReason;               // why type is None, for the log
};

ReceivedSessionMessage readSessionMessage(const QByteArray &pPayload);

// The window title and permissions a SessionSettings object grants.
struct RoomSettings {
    QString title;
    bool captureAllowed = false;
    bool fullscreenFeature = false;
};
RoomSettings roomSettingsFrom(const QJsonObject &pSettings);

} // namespace Velmorant::Advanced
