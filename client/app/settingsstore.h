// SPDX-License-Identifier: GPL-2.0-or-later
// The per-user settings file config.json: where it lies, its six members,
// defaults and the read/write rules. GUI thread only; no locking, since only
// one client runs at a time.
#pragma once

#include <QByteArray>
#include <QString>

namespace Velmorant {

struct ClientSettings {
    int screenId = 0;
    QString userName;
    QString capturePath;
    bool configIsOnTop = false;
    bool configRemoteControl = false;
    QString language; // stored as "Langage"

    bool operator==(const ClientSettings &other) const;
    bool operator!=(const ClientSettings &other) const { return !(*this == other); }
};

// <generic data location>/Velmorant Client/config.json, cleaned.
QString settingsFilePath();

// Where a default user name can come from, in order of preference.
struct UserNameSources {
    QString displayName; // the account's full name
    QString logonName;
    QString user;     // $USER
    QString userName; // $USERNAME
};

// The system's names, read now.
UserNameSources systemUserNameSources();

// The first non-empty source, or "User".
QString firstUserName(const UserNameSources &sources);

// The account's display name, logon name, $USER, $USERNAME or "User".
QString derivedUserName();

// The values a first start writes: screen 0, the derived user name, the
// pictures folder, not on top, remote control allowed, "Fran?ais".
ClientSettings defaultSettings();

// Parses the file's content; missing or mistyped members read as empty
// values, and text that is not a JSON object reads as an empty object.
ClientSettings settingsFromJson(const QByteArray &json);

// Indented JSON with the members sorted by key.
QByteArray settingsToJson(const ClientSettings &settings);

class SettingsStore {
public:
    explicit SettingsStore(QString filePath = settingsFilePath());

    // Full read: parses the file, or derives and writes the defaults when it
    // cannot be opened; then makes sure the capture folder exists (one level).
    ClientSettings read() const;

    // Replaces the file's content, creating its folder (one level) first.
    // False when nothing could be written; callers may ignore it.
    bool write(const ClientSettings &settings) const;

    const QString &filePath() const { return m_filePath; }

private:
    QString m_filePath;
};

} // namespace Velmorant
