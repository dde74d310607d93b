// SPDX-License-Identifier: GPL-2.0-or-later
#include "updatechecker.h"

#include "installerfile.h"
#include "platform/platform.h"
#include "updatelog.h"
#include "updatestream.h"

#include <network/framereader.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QTcpSocket>

#include <json/json.h>

#include <memory>

namespace Velmorant {
namespace {

constexpr int kWriteTimeoutMs = 30000;
// Longest single wait, so that requestStop() is seen soon.
constexpr int kWaitSliceMs = 50;

// Waits until the socket has bytes to read, the deadline passes, the peer
// closes or a stop is requested; true when bytes are there.
bool waitReadable(QTcpSocket &socket, const QDeadlineTimer &deadline, const std::atomic<bool> &stop)
{
    while (socket.bytesAvailable() == 0) {
        if (stop.load() || deadline.hasExpired() || socket.state() != QAbstractSocket::ConnectedState)
            return false;
        socket.waitForReadyRead(int(qMin<qint64>(kWaitSliceMs, qMax<qint64>(1, deadline.remainingTime()))));
    }
    return true;
}

// Writes everything, bounded by the deadline as well as by the usual wait.
bool writeAll(QTcpSocket &socket, const QByteArray &bytes, const QDeadlineTimer &deadline,
              const std::atomic<bool> &stop)
{
    if (socket.write(bytes) != bytes.size())
        return false;
    const QDeadlineTimer limit = qMin(deadline, QDeadlineTimer(kWriteTimeoutMs));
    while (socket.bytesToWrite() > 0) {
        if (stop.load() || limit.hasExpired() || socket.state() != QAbstractSocket::ConnectedState)
            return false;
        socket.waitForBytesWritten(int(qMin<qint64>(kWaitSliceMs, qMax<qint64>(1, limit.remainingTime()))));
    }
    return true;
}

std::unique_ptr<QTcpSocket> openConnection(const QHostAddress &address, quint16 port, const QByteArray &request,
                                           const std::atomic<bool> &stop)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->connectToHost(address, port, QIODevice::ReadWrite);
    if (!socket->waitForConnected(UpdateChecker::kConnectTimeoutMs)) {
        qCDebug(lcUpdate) << "update server" << address.toString() << port << "unreachable:" << socket->errorString();
        return nullptr;
    }
    const QDeadlineTimer deadline(kWriteTimeoutMs);
    if (!writeAll(*socket, Kiv::Network::encodeFrame(request), deadline, stop)) {
        qCDebug(lcUpdate) << "update server" << address.toString() << port << "did not take the request";
        return nullptr;
    }
    return socket;
}

} // namespace

void UpdateChecker::setIdentity(const QString &applicationName, const QString &applicationVersion,
                                const QString &protocolVersion)
{
    m_applicationName = applicationName;
    m_applicationVersion = applicationVersion;
    m_protocolVersion = protocolVersion;
}

void UpdateChecker::setServer(const QHostAddress &address, quint16 port)
{
    m_address = address;
    m_port = port;
}

QByteArray UpdateChecker::request(const char *action) const
{
    Json::Value root(Json::objectValue);
    root["connection_type"] = "CLIENT_UPDATE";
    root["connection_protocol"] = 1;
    root["action"] = action;
    root["applicationName"] = m_applicationName.toStdString();
    root["applicationVersion"] = m_applicationVersion.toStdString();
    root["protocolVersion"] = m_protocolVersion.toStdString();
    root["platformName"] = Platform::platformName();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::StyledWriter writer; // the servers expect this layout
#pragma GCC diagnostic pop
    return QByteArray::fromStdString(writer.write(root));
}

int UpdateChecker::statusForAnswer(quint8 answer)
{
    switch (answer) {
    case 0:
        return UpToDate;
    case 1:
        return UpdateAvailable;
    case 2:
        return UpdateRequired;
    case 3:
        return ClientTooRecent;
    case 4:
        return NoUpdateOnServer;
    default:
        return -1;
    }
}

void UpdateChecker::setTimeLimits(int checkAnswerMs, int downloadAnswerMs, int downloadStallMs)
{
    m_checkAnswerLimitMs = checkAnswerMs;
    m_downloadAnswerLimitMs = downloadAnswerMs;
    m_downloadStallLimitMs = downloadStallMs;
}

bool UpdateChecker::check()
{
    auto socket = openConnection(m_address, m_port, request("check"), m_stop);
    if (!socket)
        return false;
    // One limit for the whole answer: keep-alives do not extend it.
    const QDeadlineTimer deadline(m_checkAnswerLimitMs);
    UpdateCheckAnswerReader reader;
    char buffer[4];
    while (!reader.answered()) {
        if (!waitReadable(*socket, deadline, m_stop)) {
            qCDebug(lcUpdate) << "no update answer from" << m_address.toString() << m_port << "within"
                              << m_checkAnswerLimitMs << "ms";
            socket->close();
            return false;
        }
        const qint64 got = socket->read(buffer, reader.wanted());
        if (got < 0)
            break;
        reader.push(buffer, int(got));
    }
    socket->close();
    if (!reader.answered())
        return false;
    const int status = statusForAnswer(reader.answer());
    if (status >= 0)
        m_status = status;
    return true;
}

QString UpdateChecker::installerPath()
{
    return QString::fromStdWString(InstallerFile::fixedPath());
}

QString UpdateChecker::download()
{
    auto socket = openConnection(m_address, m_port, request("get"), m_stop);
    if (!socket)
        return {};
    const QString server = m_address.toString() + QLatin1Char(':') + QString::number(m_port);
    QFile file;
    QString folder;
    auto fail = [&](const QString &why) {
        qCWarning(lcUpdate).noquote() << "download from" << server << "failed:" << why;
        socket->close();
        if (file.isOpen())
            file.close();
        if (!file.fileName().isEmpty()) {
            file.remove();
            QDir().rmdir(folder); // a fresh folder of its own goes with it
        }
        return QString();
    };

    // The first bytes within the answer limit; after that, the download
    // lives as long as installer bytes keep coming.
    QDeadlineTimer deadline(m_downloadAnswerLimitMs);
    DownloadStreamReader reader;
    static const QByteArray ack(4, '\0');
    char buffer[64 * 1024];
    bool first = true;
    for (;;) {
        if (!waitReadable(*socket, deadline, m_stop)) {
            if (m_stop.load())
                return fail(QStringLiteral("stopped"));
            if (socket->state() != QAbstractSocket::ConnectedState)
                return fail(QStringLiteral("connection ended"));
            return fail(first ? QStringLiteral("no answer within %1 ms").arg(m_downloadAnswerLimitMs)
                              : QStringLiteral("no installer byte for %1 ms").arg(m_downloadStallLimitMs));
        }
        if (first) {
            first = false;
            deadline.setRemainingTime(m_downloadStallLimitMs);
        }
        const qint64 got = socket->read(buffer, qMin<qint64>(reader.wanted(), qint64(sizeof buffer)));
        if (got < 0)
            return fail(QStringLiteral("read error: ") + socket->errorString());
        const bool hadTotal = reader.hasTotal();
        const DownloadStreamReader::Step step = reader.push(buffer, int(got));
        if (step.failure)
            return fail(QString::fromLatin1(step.failure));
        if (!hadTotal && reader.hasTotal()) {
            // The installer goes where no other user can reach it.
            std::wstring error;
            const QString path = QString::fromStdWString(InstallerFile::createNew(&error));
            if (path.isEmpty())
                return fail(QString::fromStdWString(error));
            folder = QFileInfo(path).absolutePath();
            file.setFileName(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly))
                return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
            deadline.setRemainingTime(m_downloadStallLimitMs);
        }
        if (step.installerBytes) {
            // Chunks go to disk as they arrive; the installer is never held whole.
            if (file.write(buffer, got) != got)
                return fail(QStringLiteral("cannot write the installer: ") + file.errorString());
            deadline.setRemainingTime(m_downloadStallLimitMs);
        }
        if (step.chunkEnded && !writeAll(*socket, ack, deadline, m_stop))
            return fail(deadline.hasExpired()
                            ? QStringLiteral("no installer byte for %1 ms").arg(m_downloadStallLimitMs)
                            : QStringLiteral("acknowledgement not taken"));
        if (step.done)
            break;
    }
    if (!file.flush())
        return fail(QStringLiteral("cannot write the installer: ") + file.errorString());
    file.close();
    socket->close();
    return file.fileName();
}

} // namespace Velmorant
