// SPDX-License-Identifier: GPL-2.0-or-later
#include "connection.h"

#include "eventlog.h"
#include "wire.h"

#include <QHostAddress>

namespace {
int g_nextId = 1;
int g_open = 0;
bool g_silent = false;
constexpr int SlowTickMs = 50;
} // namespace

Connection::Connection(QTcpSocket *socket, const QString &port, QObject *parent)
    : QObject(parent), m_socket(socket), m_reader(wire::MaxPayload), m_port(port), m_id(g_nextId++)
{
    ++g_open;
    m_socket->setParent(nullptr);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &Connection::onReadyRead);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &Connection::onDisconnected);
    connect(m_socket.get(), &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::RemoteHostClosedError)
            close(QStringLiteral("socket error: %1").arg(m_socket->errorString()));
    });
    connect(&m_keepAlive, &QTimer::timeout, this, [this] {
        if (!g_silent)
            sendKeepAlive();
    });
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this] { close(QStringLiteral("peer silent")); });
    connect(&m_slow, &QTimer::timeout, this, &Connection::onSlowTick);
    events().write(
        QStringLiteral("conn.open"),
        {{QStringLiteral("conn"), m_id}, {QStringLiteral("port"), m_port}, {QStringLiteral("peer"), peer()}});
}

Connection::~Connection()
{
    --g_open;
    // No more callbacks into a half-destroyed object.
    m_socket->disconnect(this);
    m_socket->abort();
}

QString Connection::peer() const
{
    return QStringLiteral("%1:%2").arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());
}

int Connection::openCount()
{
    return g_open;
}

void Connection::setSilent(bool on)
{
    g_silent = on;
}

bool Connection::silent()
{
    return g_silent;
}

void Connection::send(const QByteArray &payload)
{
    sendRaw(wire::frame(payload));
}

void Connection::sendRaw(const QByteArray &bytes)
{
    if (m_closed)
        return;
    m_socket->write(bytes);
}

void Connection::sendKeepAlive()
{
    sendRaw(wire::keepAlive());
}

void Connection::close(const QString &reason)
{
    if (m_closed)
        return;
    m_closed = true;
    m_keepAlive.stop();
    m_idle.stop();
    m_slow.stop();
    emit closing(reason);
    events().write(
        QStringLiteral("conn.closed"),
        {{QStringLiteral("conn"), m_id}, {QStringLiteral("port"), m_port}, {QStringLiteral("reason"), reason}});
    // Let what was written leave before the socket goes: disconnectFromHost
    // flushes first, and the object waits (boundedly) for that to finish.
    m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        deleteLater();
        return;
    }
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &QObject::deleteLater);
    QTimer::singleShot(5000, this, &QObject::deleteLater);
}

void Connection::setKeepAlive(int ms)
{
    if (ms > 0)
        m_keepAlive.start(ms);
    else
        m_keepAlive.stop();
}

void Connection::setIdleTimeout(int ms)
{
    m_idle.setInterval(ms);
    if (ms > 0)
        m_idle.start();
    else
        m_idle.stop();
}

void Connection::setReadRate(int bytesPerSecond)
{
    m_readRate = bytesPerSecond;
    if (bytesPerSecond > 0) {
        const int perTick = qMax(1, bytesPerSecond * SlowTickMs / 1000);
        m_socket->setReadBufferSize(perTick);
        m_slow.start(SlowTickMs);
    } else {
        m_socket->setReadBufferSize(0);
        m_slow.stop();
    }
}

void Connection::onReadyRead()
{
    if (m_closed || m_readRate > 0)
        return;
    consume(m_socket->readAll());
}

void Connection::onSlowTick()
{
    if (m_closed)
        return;
    const qint64 perTick = qMax(1, m_readRate * SlowTickMs / 1000);
    consume(m_socket->read(perTick));
}

void Connection::consume(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_readMicros = EventLog::monotonicMicros();
    m_reader.append(bytes);
    QByteArray payload;
    while (!m_closed) {
        const FrameReader::Result r = m_reader.next(&payload);
        if (r == FrameReader::Result::NeedMore)
            break;
        if (r == FrameReader::Result::TooLong) {
            events().write(QStringLiteral("conn.malformed"),
                           {{QStringLiteral("conn"), m_id},
                            {QStringLiteral("error"), QStringLiteral("frame length out of bounds")},
                            {QStringLiteral("length"), static_cast<double>(m_reader.announcedLength())}});
            close(QStringLiteral("malformed frame"));
            return;
        }
        if (m_idle.interval() > 0)
            m_idle.start();
        if (r == FrameReader::Result::KeepAlive)
            emit keepAliveReceived();
        else
            emit frameReceived(payload);
    }
}

void Connection::onDisconnected()
{
    // Frames that arrived together with the close are still handled first.
    if (!m_closed && m_readRate == 0)
        consume(m_socket->readAll());
    close(QStringLiteral("peer closed"));
}
