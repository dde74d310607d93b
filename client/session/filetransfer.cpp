// SPDX-License-Identifier: GPL-2.0-or-later
#include "filetransfer.h"

#include "network/framereader.h"
#include "sessionlog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>

namespace Velmorant::Advanced {

namespace {

QByteArray int32(qint32 pValue)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(pValue, bytes.data());
    return bytes;
}

class TransferConnection {
public:
    TransferConnection(const FileTransferLimits &pLimits, const std::atomic<bool> *pStop)
        : m_limits(pLimits), m_stop(pStop)
    {
        m_socket.setProxy(QNetworkProxy::NoProxy);
    }

    bool connectTo(const QString &pAddress, quint16 pPort)
    {
        m_socket.abort();
        m_reader = Kiv::Network::FrameReader(); // each attempt reads a fresh stream
        m_socket.connectToHost(QHostAddress(pAddress), pPort, QIODevice::ReadWrite);
        return m_socket.waitForConnected(m_limits.connectTimeoutMs);
    }

    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    bool stopping() const { return m_stop && m_stop->load(); }

    // Writes one frame once the peer has taken most of what came before, so
    // memory stays bounded whatever the file's size. False when the peer
    // stops taking bytes for the answer time or goes away.
    bool writeFrame(const QByteArray &pPayload)
    {
        QElapsedTimer stalled;
        stalled.start();
        qint64 backlog = m_socket.bytesToWrite();
        while (backlog > m_limits.maxBacklog) {
            if (!connected() || stopping())
                return false;
            m_socket.waitForBytesWritten(100);
            const qint64 now = m_socket.bytesToWrite();
            if (now < backlog)
                stalled.restart();
            else if (stalled.elapsed() > m_limits.finalAnswerTimeoutMs)
                return false;
            backlog = now;
        }
        m_socket.write(Kiv::Network::encodeFrame(pPayload));
        m_socket.flush();
        return connected();
    }

    enum class Read { Frame, Lost, Timeout };

    // The next non-empty payload; keep-alives do not count.
    Read readFrame(int pTimeoutMs, QByteArray *pPayload)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            switch (m_reader.readFrame(m_socket, [&] { return clock.elapsed() < pTimeoutMs && !stopping(); })) {
            case Kiv::Network::FrameReader::Status::KeepAlive:
                continue;
            case Kiv::Network::FrameReader::Status::Complete:
                if (m_reader.payload().isEmpty())
                    continue; // a negative length reads as empty: no answer either
                *pPayload = m_reader.payload();
                return Read::Frame;
            case Kiv::Network::FrameReader::Status::Aborted:
                return Read::Timeout;
            default:
                return Read::Lost;
            }
        }
    }

    // Waits until everything written has left, while it keeps leaving.
    void drainWrites()
    {
        int unchanged = 0;
        qint64 last = m_socket.bytesToWrite();
        while (last > 0 && connected() && unchanged < 50 && !stopping()) {
            m_socket.flush();
            m_socket.waitForBytesWritten(50);
            const qint64 now = m_socket.bytesToWrite();
            unchanged = now == last ? unchanged + 1 : 0;
            last = now;
        }
    }

    void closeGracefully()
    {
        drainWrites();
        m_socket.disconnectFromHost();
        if (m_socket.state() != QAbstractSocket::UnconnectedState)
            m_socket.waitForDisconnected(1000);
    }

private:
    const FileTransferLimits &m_limits;
    const std::atomic<bool> *m_stop;
    QTcpSocket m_socket;
    Kiv::Network::FrameReader m_reader;
};

} // namespace

const char *outcomeName(FileTransferOutcome pOutcome)
{
    switch (pOutcome) {
    case FileTransferOutcome::Sent:
        return "sent";
    case FileTransferOutcome::NoConnection:
        return "no connection";
    case FileTransferOutcome::TooLarge:
        return "too large";
    case FileTransferOutcome::FileShort:
        return "file shorter than announced";
    case FileTransferOutcome::Lost:
        return "connection lost";
    case FileTransferOutcome::NoAnswer:
        return "no final answer";
    case FileTransferOutcome::Stopped:
        return "stopped";
    }
    return "?";
}

namespace FileTransferFrames {

QByteArray greeting(int pTransferId)
{
    return QByteArrayLiteral("{ \"connection_type\" : \"FILE_TRANSFER\", \"transfer_id\" : ") +
           QByteArray::number(pTransferId) + QByteArrayLiteral(" }");
}

QByteArray header(qint64 pSize)
{
    return int32(1) + int32(static_cast<qint32>(pSize));
}

QByteArray data(const QByteArray &pChunk)
{
    return int32(2) + pChunk;
}

} // namespace FileTransferFrames

FileTransferOutcome sendFile(const QString &pAddress, quint16 pPort, int pTransferId, const QString &pPath,
                             const FileTransferLimits &pLimits, const std::atomic<bool> *pStop)
{
    QFile file(pPath);
    // A missing file reads as empty: the room gets what there is.
    const qint64 size = file.exists() ? file.size() : 0;
    if (size > FileTransferFrames::kMaxFileSize)
        return FileTransferOutcome::TooLarge;

    TransferConnection connection(pLimits, pStop);
    bool greeted = false;
    for (int attempt = 0; attempt < pLimits.connectAttempts && !greeted && !connection.stopping(); ++attempt) {
        if (!connection.connectTo(pAddress, pPort))
            continue;
        if (!connection.writeFrame(FileTransferFrames::greeting(pTransferId)))
            continue;
        QByteArray answer;
        greeted = connection.readFrame(pLimits.greetingAnswerTimeoutMs, &answer) == TransferConnection::Read::Frame;
    }
    if (connection.stopping())
        return FileTransferOutcome::Stopped;
    if (!greeted)
        return FileTransferOutcome::NoConnection;

    if (size > 0 && !file.open(QIODevice::ReadOnly)) {
        qCInfo(lcSession).noquote() << "cannot read" << pPath << file.errorString();
        connection.closeGracefully();
        return FileTransferOutcome::FileShort;
    }
    if (!connection.writeFrame(FileTransferFrames::header(size)))
        return connection.stopping() ? FileTransferOutcome::Stopped : FileTransferOutcome::Lost;
    qint64 sent = 0;
    do {
        if (connection.stopping())
            return FileTransferOutcome::Stopped;
        const QByteArray chunk =
            size > 0 ? file.read(qMin<qint64>(FileTransferFrames::kChunkSize, size - sent)) : QByteArray();
        // A file that shrank or failed under us: stop, rather than loop.
        if (size > 0 && chunk.isEmpty()) {
            connection.closeGracefully();
            return FileTransferOutcome::FileShort;
        }
        if (!connection.writeFrame(FileTransferFrames::data(chunk)))
            return connection.stopping() ? FileTransferOutcome::Stopped : FileTransferOutcome::Lost;
        sent += chunk.size();
    } while (sent < size);

    connection.drainWrites();
    QByteArray answer;
    const auto read = connection.readFrame(pLimits.finalAnswerTimeoutMs, &answer);
    connection.closeGracefully();
    if (connection.stopping() && read != TransferConnection::Read::Frame)
        return FileTransferOutcome::Stopped;
    if (read == TransferConnection::Read::Timeout)
        return FileTransferOutcome::NoAnswer;
    if (read == TransferConnection::Read::Lost)
        return FileTransferOutcome::Lost;
    return FileTransferOutcome::Sent;
}

} // namespace Velmorant::Advanced
