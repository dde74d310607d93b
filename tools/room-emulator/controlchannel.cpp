// SPDX-License-Identifier: GPL-2.0-or-later
#include "controlchannel.h"

#include "eventlog.h"
#include "wire.h"

#include <QJsonDocument>

#include <cerrno>
#include <unistd.h>

namespace {
constexpr int MaxLine = 1 << 20;
}

ControlChannel::ControlChannel(int fd, QObject *parent)
    : QObject(parent), m_fd(fd), m_notifier(fd, QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &ControlChannel::onReadable);
}

void ControlChannel::onReadable()
{
    char buffer[65536];
    const ssize_t n = ::read(m_fd, buffer, sizeof(buffer));
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        m_notifier.setEnabled(false);
        emit endOfInput();
        return;
    }
    m_pending.append(buffer, static_cast<int>(n));
    int start = 0;
    for (int nl = m_pending.indexOf('\n'); nl >= 0; nl = m_pending.indexOf('\n', start)) {
        const QByteArray line = m_pending.mid(start, nl - start).trimmed();
        start = nl + 1;
        if (m_discarding) {
            m_discarding = false;
            continue;
        }
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) {
            events().write(QStringLiteral("cmd.error"), {{QStringLiteral("error"), QStringLiteral("not a JSON object")},
                                                         {QStringLiteral("line"), wire::preview(line, 120)}});
            continue;
        }
        emit command(doc.object());
    }
    m_pending.remove(0, start);
    if (m_pending.size() > MaxLine) {
        events().write(QStringLiteral("cmd.error"),
                       {{QStringLiteral("error"), QStringLiteral("command line too long")}});
        m_pending.clear();
        m_discarding = true;
    }
}
