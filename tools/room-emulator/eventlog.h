// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

// Writes one JSON object per line for everything the emulator receives and
// sends. Each line carries "event", "t" (milliseconds since start, monotonic)
// and "mono_us" (CLOCK_MONOTONIC in microseconds, comparable across processes
// of this machine). Used from the main thread only.
class EventLog {
public:
    // Empty path: standard output.
    bool open(const QString &path, QString *error);
    void write(const QString &event, QJsonObject fields = QJsonObject());

    static qint64 monotonicMicros();
    static qint64 wallMillis();

private:
    QFile m_file;
    qint64 m_start = monotonicMicros();
};

// The process-wide log; set up by main before anything else runs.
EventLog &events();
