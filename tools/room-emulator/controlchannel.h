// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QSocketNotifier>

// Reads JSON-line commands from a file descriptor (standard input) without
// blocking the event loop. Lines longer than 1 MiB are refused.
class ControlChannel : public QObject {
    Q_OBJECT
public:
    explicit ControlChannel(int fd, QObject *parent = nullptr);

signals:
    void command(const QJsonObject &command);
    void endOfInput();

private:
    void onReadable();

    int m_fd;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
    bool m_discarding = false;
};
