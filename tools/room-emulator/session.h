// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>

class Connection;
class Emulator;

// The server side of one session, from the greeting on: opening messages,
// keep-alives, answers to the client's requests, and a record of all of it.
// Owned by its Connection (child object).
class Session : public QObject {
    Q_OBJECT
public:
    Session(Connection *connection, Emulator *emulator);

    int id() const { return m_id; }
    Connection *connection() const { return m_connection; }

    void start();
    void sendMessage(qint32 type, const QByteArray &body, const QJsonValue &logged = QJsonValue());
    void sendJson(qint32 type, const QJsonValue &body);
    void sendRawFrame(const QByteArray &payload);
    // "file_name" of the latest FileRequest, for a FileAccepted sent by command.
    QString lastFileName() const { return m_lastFileName; }

private:
    void onFrame(const QByteArray &payload);
    void showOnDisplay(qint32 type, const QJsonObject &body);
    void sendGarbage();
    void sendOversized();

    Connection *m_connection;
    Emulator *m_emulator;
    int m_id;
    bool m_fullscreen = false;
    bool m_broken = false;
    QString m_lastFileName;
};
