// SPDX-License-Identifier: GPL-2.0-or-later
#include "eventlog.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr size_t MaxQueuedBytes = 64u * 1024u * 1024u;
}

EventLog &events()
{
    static EventLog *log = new EventLog;
    return *log;
}

bool EventLog::open(const QString &path, QString *error)
{
    if (path.isEmpty()) {
        m_fd = STDOUT_FILENO;
    } else {
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            *error = QString::fromLocal8Bit(strerror(errno));
            return false;
        }
    }
    m_writer = std::thread([this] { writerLoop(); });
    m_writer.detach();
    return true;
}

qint64 EventLog::monotonicMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

qint64 EventLog::wallMillis()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void EventLog::write(const QString &event, QJsonObject fields)
{
    const qint64 now = monotonicMicros();
    fields.insert(QStringLiteral("event"), event);
    fields.insert(QStringLiteral("t"), static_cast<double>(now - m_start) / 1000.0);
    fields.insert(QStringLiteral("mono_us"), static_cast<double>(now));
    QByteArray line = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    line.append('\n');
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queuedBytes + static_cast<size_t>(line.size()) > MaxQueuedBytes) {
        ++m_dropped;
        return;
    }
    if (m_dropped > 0) {
        QByteArray notice = QJsonDocument(QJsonObject{{QStringLiteral("event"), QStringLiteral("events.dropped")},
                                                      {QStringLiteral("count"), static_cast<double>(m_dropped)},
                                                      {QStringLiteral("mono_us"), static_cast<double>(now)}})
                                .toJson(QJsonDocument::Compact);
        notice.append('\n');
        m_queuedBytes += static_cast<size_t>(notice.size());
        m_queue.push_back(notice);
        m_dropped = 0;
    }
    m_queuedBytes += static_cast<size_t>(line.size());
    m_queue.push_back(std::move(line));
    m_wake.notify_one();
}

void EventLog::flush(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_drained.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_queue.empty() && !m_writing; });
}

void EventLog::writerLoop()
{
    bool broken = false;
    for (;;) {
        std::deque<QByteArray> batch;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_writing = false;
            m_drained.notify_all();
            m_wake.wait(lock, [this] { return !m_queue.empty(); });
            batch.swap(m_queue);
            m_queuedBytes = 0;
            m_writing = true;
        }
        QByteArray chunk;
        for (const QByteArray &line : batch)
            chunk.append(line);
        const char *p = chunk.constData();
        qint64 left = chunk.size();
        while (!broken && left > 0) {
            const ssize_t n = ::write(m_fd, p, static_cast<size_t>(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                // The reader is gone; keep accepting lines and drop them.
                broken = true;
                break;
            }
            p += n;
            left -= n;
        }
    }
}
