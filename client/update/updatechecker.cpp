// SPDX-License-Identifier: GPL-2.0-or-later
#include "updatechecker.h"

#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QtEndian>

#include <json/json.h>

#include <memory>

Q_LOGGING_CATEGORY(lcUpdate, "velmorant.update")

namespace Velmorant {
namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kAnswerTimeoutMs = 1000;
constexpr int kTransferTimeoutMs = 30000;
// Longest chunk frame accepted from a server, checked before reading it.
constexpr qint64 kMaxFrameLength = 64 * 1024 * 1024;

// Waits until n bytes can be read; false on time-out or a closed connection.
bool waitForBytes(QTcpSocket &socket, qint64 n, int timeoutMs)
{
    while (socket.bytesAvailable() < n) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return true;
}

bool readLength(QTcpSocket &socket, int timeoutMs, qint32 &length)
{
    if (!waitForBytes(socket, 4, timeoutMs))
        return false;
    char bytes[4];
    if (socket.read(bytes, 4) != 4)
        return false;
    length = qFromLittleEndian<qint32>(bytes);
    return true;
}

// Reads lengths until one is not a keep-alive (0).
bool readNonZeroLength(QTcpSocket &socket, int firstTimeoutMs, qint32 &length)
{
    int timeout = firstTimeoutMs;
    do {
        if (!readLength(socket, timeout, length))
            return false;
        timeout = kTransferTimeoutMs;
    } while (length == 0);
    return true;
}

std::unique_ptr<QTcpSocket> openConnection(const QHostAddress &address, quint16 port, const QByteArray &request)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->connectToHost(address, port, QIODevice::ReadWrite);
    if (!socket->waitForConnected(kConnectTimeoutMs)) {
        qCDebug(lcUpdate) << "update server" << address.toString() << port << "unreachable:" << socket->errorString();
        return nullptr;
    }
    char length[4];
    qToLittleEndian<qint32>(qint32(request.size()), length);
    socket->write(length, 4);
    socket->waitForBytesWritten(kTransferTimeoutMs);
    socket->write(request);
    socket->waitForBytesWritten(kTransferTimeoutMs);
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

bool UpdateChecker::check()
{
    auto socket = openConnection(m_address, m_port, request("check"));
    if (!socket)
        return false;
    qint32 length = 0;
    if (!readNonZeroLength(*socket, kAnswerTimeoutMs, length) || !waitForBytes(*socket, 1, kAnswerTimeoutMs)) {
        qCDebug(lcUpdate) << "no update answer from" << m_address.toString() << m_port;
        socket->close();
        return false;
    }
    char answer = 0;
    socket->read(&answer, 1);
    const int status = statusForAnswer(quint8(answer));
    if (status >= 0)
        m_status = status;
    socket->close();
    return true;
}

QString UpdateChecker::installerPath()
{
    const QString folder = QDir::cleanPath(QDir::tempPath() + QDir::separator() + QStringLiteral("VelmorantClient"));
    return QDir::cleanPath(folder + QDir::separator() + QString::fromStdWString(Platform::installerFileName()));
}

QString UpdateChecker::download()
{
    auto socket = openConnection(m_address, m_port, request("get"));
    if (!socket)
        return {};
    qint32 headerLength = 0;
    if (!readNonZeroLength(*socket, kAnswerTimeoutMs, headerLength) || headerLength < 4 ||
        headerLength > kMaxFrameLength || !waitForBytes(*socket, headerLength, kTransferTimeoutMs)) {
        qCWarning(lcUpdate) << "download: no valid size header from" << m_address.toString();
        return {};
    }
    const QByteArray header = socket->read(headerLength);
    const quint32 total = qFromLittleEndian<quint32>(header.constData());

    const QString path = installerPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (QFile::exists(path) && !QFile::remove(path)) {
        qCWarning(lcUpdate) << "download: cannot replace" << path;
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcUpdate) << "download: cannot write" << path << file.errorString();
        return {};
    }
    auto fail = [&](const char *why) {
        qCWarning(lcUpdate) << "download failed:" << why;
        file.close();
        file.remove();
        return QString();
    };

    // Chunks go to disk as they arrive; the installer is never held whole.
    quint64 received = 0;
    while (received < total) {
        qint32 length = 0;
        if (!readLength(*socket, kTransferTimeoutMs, length))
            return fail("connection ended");
        if (length < 0 || length > kMaxFrameLength)
            return fail("bad chunk length");
        if (received + quint64(length) > total)
            return fail("more data than announced");
        qint64 left = length;
        while (left > 0) {
            if (socket->bytesAvailable() == 0 && !socket->waitForReadyRead(kTransferTimeoutMs))
                return fail("connection ended");
            const QByteArray piece = socket->read(qMin<qint64>(left, 1 << 16));
            if (file.write(piece) != piece.size())
                return fail("cannot write the installer");
            left -= piece.size();
        }
        received += quint64(length);
        static const char ack[4] = {0, 0, 0, 0};
        socket->write(ack, 4);
        socket->waitForBytesWritten(kTransferTimeoutMs);
    }
    if (!file.flush())
        return fail("cannot write the installer");
    file.close();
    socket->close();
    return path;
}

} // namespace Velmorant
