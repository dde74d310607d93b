// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// Little-endian helpers for the byte layouts the emulator reads and writes.
// Every TCP unit is a frame:
//
//   +--------+--------+---------------------+
//   | 0..3   length LE (0 = keep-alive)     |
//   +--------+--------+---------------------+
//   | 4..    payload (length bytes)         |
//   +---------------------------------------+
namespace wire {

// Largest payload the emulator accepts from a peer; anything longer is refused
// before a single byte of it is buffered.
constexpr quint32 MaxPayload = 64u * 1024u * 1024u;

// Width of the ASCII command field that starts every stream command.
constexpr int CommandWidth = 10;

void appendU8(QByteArray &out, quint8 v);
void appendU16(QByteArray &out, quint16 v);
void appendU32(QByteArray &out, quint32 v);
void appendI32(QByteArray &out, qint32 v);
void appendI64(QByteArray &out, qint64 v);
void appendF32(QByteArray &out, float v);

quint16 u16(const char *p);
quint32 u32(const char *p);
qint32 i32(const char *p);
qint64 i64(const char *p);
float f32(const char *p);

QByteArray frame(const QByteArray &payload);
QByteArray keepAlive();

// "PAUSE" -> "PAUSE     "
QByteArray command(const char *name);
// Trimmed command name of a stream payload; empty when shorter than the field.
QString commandName(const QByteArray &payload);

// Printable preview of untrusted bytes for the event log.
QString preview(const QByteArray &bytes, int max = 64);

} // namespace wire
