// SPDX-License-Identifier: GPL-2.0-or-later
#include "filetransfer.h"

#include "connection.h"
#include "eventlog.h"
#include "options.h"
#include "roomactivity.h"
#include "wire.h"

#include <QDir>
#include <QFileInfo>

FileTransfer::FileTransfer(Connection *connection, int transferId, const QString &fileName,
                           const EmulatorOptions &options, RoomActivity *activity)
    : QObject(connection), m_connection(connection), m_transferId(transferId), m_fileName(fileName), m_options(options),
      m_activity(activity)
{
    connect(connection, &Connection::frameReceived, this, &FileTransfer::onFrame);
    connect(connection, &Connection::closing, this, [this](const QString &reason) {
        if (!m_done) {
            if (m_file)
                m_file->cancelWriting();
            events().write(QStringLiteral("file.aborted"),
                           {{QStringLiteral("transfer_id"), m_transferId},
                            {QStringLiteral("reason"), reason},
                            {QStringLiteral("received"), static_cast<double>(m_received)}});
        }
    });
}

QString FileTransfer::safeFileName(const QString &announced, int transferId)
{
    QString name = announced;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.section(QLatin1Char('/'), -1);
    QString clean;
    for (const QChar c : name) {
        if (c.unicode() >= 0x20 && c != QLatin1Char(':'))
            clean.append(c);
    }
    clean = clean.trimmed();
    if (clean.isEmpty() || clean == QLatin1String(".") || clean == QLatin1String("..") || clean.toUtf8().size() > 200)
        clean = QStringLiteral("transfer-%1").arg(transferId);
    return clean;
}

void FileTransfer::start()
{
    m_connection->setIdleTimeout(m_options.clientTimeoutMs);
    m_connection->send(QByteArrayLiteral("{ \"status\" : \"ready\" }"));
    events().write(QStringLiteral("file.greeting"),
                   {{QStringLiteral("transfer_id"), m_transferId}, {QStringLiteral("file_name"), m_fileName}});
}

void FileTransfer::fail(const QString &error)
{
    events().write(QStringLiteral("conn.malformed"), {{QStringLiteral("conn"), m_connection->id()},
                                                      {QStringLiteral("transfer_id"), m_transferId},
                                                      {QStringLiteral("error"), error}});
    m_connection->close(QStringLiteral("malformed file transfer"));
}

void FileTransfer::onFrame(const QByteArray &payload)
{
    if (m_done) {
        fail(QStringLiteral("frame after the end of the file"));
        return;
    }
    if (payload.size() < 4) {
        fail(QStringLiteral("frame shorter than its kind word"));
        return;
    }
    const qint32 kind = wire::i32(payload.constData());
    if (m_size < 0) {
        if (kind != 1 || payload.size() < 8) {
            fail(QStringLiteral("expected the 8-byte header"));
            return;
        }
        m_size = wire::i32(payload.constData() + 4);
        if (m_size < 0) {
            fail(QStringLiteral("negative file size"));
            return;
        }
        events().write(QStringLiteral("file.header"), {{QStringLiteral("transfer_id"), m_transferId},
                                                       {QStringLiteral("size"), static_cast<double>(m_size)}});
        if (!m_options.saveDir.isEmpty()) {
            QDir dir(m_options.saveDir);
            const QString base = safeFileName(m_fileName, m_transferId);
            QString path = dir.filePath(base);
            const QFileInfo fi(base);
            for (int n = 2; QFileInfo::exists(path); ++n) {
                const QString suffix =
                    fi.completeSuffix().isEmpty() ? QString() : QLatin1Char('.') + fi.completeSuffix();
                path = dir.filePath(QStringLiteral("%1 (%2)%3").arg(fi.baseName()).arg(n).arg(suffix));
            }
            m_file = std::make_unique<QSaveFile>(path);
            if (!m_file->open(QIODevice::WriteOnly)) {
                events().write(QStringLiteral("file.error"), {{QStringLiteral("transfer_id"), m_transferId},
                                                              {QStringLiteral("error"), m_file->errorString()}});
                m_file.reset();
            }
        }
        return;
    }
    if (kind != 2) {
        fail(QStringLiteral("expected a data frame"));
        return;
    }
    const qint64 n = payload.size() - 4;
    if (m_received + n > m_size) {
        fail(QStringLiteral("more data than the header announced"));
        return;
    }
    m_received += n;
    ++m_dataFrames;
    if (!m_options.noHash)
        m_hash.addData(payload.constData() + 4, static_cast<int>(n));
    if (m_file)
        m_file->write(payload.constData() + 4, n);
    if (m_dataFrames == 1 && m_options.hasFault("close-mid-transfer")) {
        m_connection->close(QStringLiteral("fault close-mid-transfer"));
        return;
    }
    if (m_received == m_size)
        finish();
}

void FileTransfer::finish()
{
    m_done = true;
    const QString sha256 = m_options.noHash ? QString() : QString::fromLatin1(m_hash.result().toHex());
    QJsonObject e{{QStringLiteral("transfer_id"), m_transferId},
                  {QStringLiteral("file_name"), m_fileName},
                  {QStringLiteral("size"), static_cast<double>(m_received)},
                  {QStringLiteral("frames"), m_dataFrames},
                  {QStringLiteral("sha256"), sha256}};
    if (m_file) {
        const QString path = m_file->fileName();
        if (m_file->commit())
            e.insert(QStringLiteral("path"), path);
        else
            e.insert(QStringLiteral("error"), m_file->errorString());
        m_file.reset();
    }
    events().write(QStringLiteral("file.saved"), e);
    m_activity->fileArrived(m_fileName, m_received, sha256);
    m_connection->send(QByteArrayLiteral("{ \"status\" : \"received\" }"));
}
