// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Writes one JSON object per line for everything the emulator receives and
// sends. Each line carries "event", "t" (milliseconds since start, monotonic)
// and "mono_us" (CLOCK_MONOTONIC in microseconds, comparable across processes
// of this machine). write() is called on the main thread; a writer thread of
// its own does the blocking writes, so a reader that falls behind costs queue
// space (bounded; overflow is counted and reported) instead of stalling the
// emulator.
class EventLog {
public:
    // Empty path: standard output.
    bool open(const QString &path, QString *error);
    void write(const QString &event, QJsonObject fields = QJsonObject());
    // Waits (boundedly) until every queued line has been written.
    void flush(int timeoutMs);

    static qint64 monotonicMicros();
    static qint64 wallMillis();

private:
    void writerLoop();

    int m_fd = -1;
    qint64 m_start = monotonicMicros();
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<QByteArray> m_queue;
    size_t m_queuedBytes = 0;
    quint64 m_dropped = 0;
    bool m_writing = false;
    std::thread m_writer;
};

// The process-wide log; set up by main before anything else runs. Never
// destroyed: its writer may still be blocked on a stalled reader at exit.
EventLog &events();
