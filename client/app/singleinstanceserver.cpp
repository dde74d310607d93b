// SPDX-License-Identifier: GPL-2.0-or-later
#include "singleinstanceserver.h"

#include "applog.h"
#include "constants.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

namespace Velmorant {

SingleInstanceServer::SingleInstanceServer(QWidget *window, QObject *parent)
    : QObject(parent), m_server(new QLocalServer(this)), m_window(window)
{
    m_server->setSocketOptions(QLocalServer::WorldAccessOption);
    if (!m_server->listen(QLatin1String(kSingleInstanceName))) {
        // A stale socket file from a crashed client blocks the name on Unix.
        QLocalServer::removeServer(QLatin1String(kSingleInstanceName));
        if (!m_server->listen(QLatin1String(kSingleInstanceName)))
            qCWarning(lcApp) << "single-instance server not listening:" << m_server->errorString();
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstanceServer::onNewConnection);
}

SingleInstanceServer::~SingleInstanceServer() = default;

bool SingleInstanceServer::isListening() const
{
    return m_server->isListening();
}

void SingleInstanceServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        socket->waitForReadyRead(200);
        const QString text = QString::fromUtf8(socket->readAll());
        if (text == QLatin1String(kFocusMessage)) {
            qCInfo(lcApp) << "focus requested by a second start";
            emit focusRequested();
            if (m_window && m_window->isVisible()) {
                m_window->activateWindow();
                m_window->raise();
            }
        }
        socket->close();
        socket->deleteLater();
    }
}

} // namespace Velmorant
