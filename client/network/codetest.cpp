// SPDX-License-Identifier: GPL-2.0-or-later
#include "codetest.h"

#include "messageframe.h"
#include "networklog.h"
#include "serverfinder.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QThread>

namespace Kiv::Network {

QByteArray buildCodeTestRequest(const QString &code)
{
    QJsonObject request;
    request.insert(QStringLiteral("connection_type"), QStringLiteral("CODE_TEST"));
    request.insert(QStringLiteral("client_type"), QStringLiteral("CLIENT"));
    request.insert(QStringLiteral("code_to_test"), code);
    return QJsonDocument(request).toJson();
}

CodeTestAnswer parseCodeTestAnswer(const QByteArray &payload)
{
    CodeTestAnswer answer;
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    const QJsonValue valid = o.value(QLatin1String("is_valid"));
    answer.valid = valid.isBool() && valid.toBool();
    answer.id = o.value(QLatin1String("id")).toString();
    answer.name = o.value(QLatin1String("name")).toString();
    answer.type = o.value(QLatin1String("type")).toInt(0);
    answer.usersCount = o.value(QLatin1String("users_count")).toInt(0);
    answer.maxUsersCount = o.value(QLatin1String("max_users_count")).toInt(0);
    return answer;
}

void codeTest(ServerFinder *pFinder, QString pCode, QString pHost, quint16 pPort)
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(pHost, pPort, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    socket.waitForConnected(2000);
    if (socket.state() != QAbstractSocket::ConnectedState)
        return;
    socket.write(encodeFrame(buildCodeTestRequest(pCode)));
    socket.flush();

    // One limit for the whole answer, checked on every turn: keep-alives,
    // a stalled payload or a stream of zeros cannot hold the test open.
    const QDateTime start = QDateTime::currentDateTimeUtc();
    const auto inTime = [&] { return start.secsTo(QDateTime::currentDateTimeUtc()) < 2 && !pFinder->isStopping(); };
    FrameReader reader;
    for (;;) {
        if (!inTime())
            return;
        if (socket.bytesAvailable() < kFrameHeaderSize)
            socket.waitForReadyRead(10);
        if (socket.bytesAvailable() < kFrameHeaderSize) {
            if (socket.state() != QAbstractSocket::ConnectedState)
                return;
            QThread::msleep(10);
            continue;
        }
        char header[kFrameHeaderSize];
        if (socket.read(header, kFrameHeaderSize) != kFrameHeaderSize)
            return;
        const qint32 length = decodeFrameLength(header);
        if (length == 0)
            continue;
        if (length > kMaxFrameLength) {
            qCWarning(lcNetwork).noquote() << "code test: peer" << pHost + QLatin1Char(':') + QString::number(pPort)
                                           << "sent a frame length of" << length << "bytes; test ended";
            return;
        }
        if (reader.readPayload(socket, length, inTime) != FrameReader::Status::Complete)
            return;
        break;
    }
    const CodeTestAnswer answer = parseCodeTestAnswer(reader.payload());
    if (!answer.valid)
        return;
    pFinder->mergeCodeTestAnswer(pCode, pHost, pPort, answer);
}

} // namespace Kiv::Network
