// SPDX-License-Identifier: GPL-2.0-or-later
#include "eventlog.h"

#include <QDateTime>
#include <QJsonDocument>

#include <cstdio>
#include <ctime>
#include <unistd.h>

EventLog &events()
{
    static EventLog log;
    return log;
}

bool EventLog::open(const QString &path, QString *error)
{
    if (path.isEmpty()) {
        // By descriptor, so each line goes out with one write() and never sits in
        // a stdio buffer while a test waits for it.
        if (!m_file.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            *error = m_file.errorString();
            return false;
        }
        return true;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = m_file.errorString();
        return false;
    }
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
    if (m_file.isOpen())
        m_file.write(line);
    else
        fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
}
