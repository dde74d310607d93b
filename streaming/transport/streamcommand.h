// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Payload layout of the stream commands (all numbers little-endian):
//
//   0          10                                  length
//   +----------+-----------------------------------+
//   | name     | arguments (depend on the command)  |
//   | (ASCII,  |                                    |
//   |  space-  |                                    |
//   |  padded) |                                    |
//   +----------+-----------------------------------+
//
// The handshake payload is plain text and no command.
namespace StreamCommand {

constexpr int FieldSize = 10;

// Payload sizes of the incoming commands the library acts on.
constexpr int MouseEventSize = 24;    // MOUS_EVENT, RPOS_EVENT
constexpr int KeyboardEventSize = 15; // KEYB_EVENT
constexpr int TouchEventSize = 30;    // TACT_EVENT
constexpr int PendingFramesSize = 14; // PENDINGFRA
constexpr int MousePositionSize = 26; // MOUSEPOS (outgoing)

// The command name left-justified to 10 bytes with spaces.
QByteArray field(const QString &name);
// The trimmed name of a payload's command field; empty for payloads shorter than the field.
QString name(const QByteArray &payload);
// `{ "connection_type" : "STREAM_VIDEO", "ID" : <id>}`
QByteArray handshake(quint32 streamId);

QByteArray pause();
QByteArray frame(const QByteArray &packet);
QByteArray mousePosition(float x, float y, qint64 msecsSinceEpoch);
QByteArray disconnect();

void appendUInt32(QByteArray &out, quint32 value);
void appendInt64(QByteArray &out, qint64 value);
void appendFloat(QByteArray &out, float value);
// Little-endian readers; the caller checks that offset + size fits.
qint32 readInt32(const QByteArray &payload, int offset);
quint16 readUInt16(const QByteArray &payload, int offset);
float readFloat(const QByteArray &payload, int offset);

} // namespace StreamCommand
