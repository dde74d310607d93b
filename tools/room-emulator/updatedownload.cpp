// SPDX-License-Identifier: GPL-2.0-or-later
#include "updatedownload.h"

#include "connection.h"
#include "eventlog.h"
#include "wire.h"

UpdateDownload::UpdateDownload(Connection *connection, const QString &installer, int chunkSize)
    : QObject(connection), m_connection(connection), m_chunkSize(chunkSize)
{
    if (!installer.isEmpty())
        m_file.setFileName(installer);
    connect(connection, &Connection::keepAliveReceived, this, [this] {
        if (!m_awaitingAck)
            return; // an idle keep-alive, not an acknowledgement
        m_awaitingAck = false;
        ++m_acks;
        sendNextChunk();
    });
    connect(connection, &Connection::frameReceived, this, [this](const QByteArray &payload) {
        events().write(QStringLiteral("conn.malformed"),
                       {{QStringLiteral("conn"), m_connection->id()},
                        {QStringLiteral("error"), QStringLiteral("expected a 4-byte zero acknowledgement")},
                        {QStringLiteral("bytes"), wire::preview(payload)}});
        m_connection->close(QStringLiteral("bad acknowledgement"));
    });
}

void UpdateDownload::start()
{
    if (!m_file.fileName().isEmpty()) {
        if (!m_file.open(QIODevice::ReadOnly)) {
            events().write(QStringLiteral("update.error"), {{QStringLiteral("conn"), m_connection->id()},
                                                            {QStringLiteral("error"), m_file.errorString()}});
            m_connection->close(QStringLiteral("installer unreadable"));
            return;
        }
        m_total = static_cast<quint32>(qMin<qint64>(m_file.size(), 0x7fffffff));
    }
    QByteArray header;
    wire::appendU32(header, m_total);
    m_connection->send(header);
    events().write(QStringLiteral("update.header"), {{QStringLiteral("conn"), m_connection->id()},
                                                     {QStringLiteral("size"), static_cast<double>(m_total)}});
    sendNextChunk();
}

void UpdateDownload::sendNextChunk()
{
    if (m_sent >= m_total) {
        events().write(QStringLiteral("update.done"), {{QStringLiteral("conn"), m_connection->id()},
                                                       {QStringLiteral("size"), static_cast<double>(m_total)},
                                                       {QStringLiteral("acks"), m_acks}});
        return;
    }
    const qint64 want = qMin<qint64>(m_chunkSize, m_total - m_sent);
    const QByteArray chunk = m_file.read(want);
    if (chunk.isEmpty()) {
        events().write(QStringLiteral("update.error"), {{QStringLiteral("conn"), m_connection->id()},
                                                        {QStringLiteral("error"), QStringLiteral("installer shrank")}});
        m_connection->close(QStringLiteral("installer shrank"));
        return;
    }
    m_connection->send(chunk);
    events().write(QStringLiteral("update.chunk"), {{QStringLiteral("conn"), m_connection->id()},
                                                    {QStringLiteral("offset"), static_cast<double>(m_sent)},
                                                    {QStringLiteral("size"), chunk.size()}});
    m_sent += static_cast<quint32>(chunk.size());
    m_awaitingAck = true;
}
