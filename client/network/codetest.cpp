// SPDX-License-Identifier: GPL-2.0-or-later
#include "codetest.h"

#include "framereader.h"
#include "jsonkeys.h"
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
    if (!hasUniqueKeys(payload))
        return answer;
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

CodeTestAnswerReader::Status CodeTestAnswerReader::push(const char *data, int size)
{
    switch (m_decoder.push(data, size)) {
    case FrameDecoder::Event::None:
    case FrameDecoder::Event::KeepAlive:
        return Status::Reading;
    case FrameDecoder::Event::TooLong:
        return Status::Refused;
    case FrameDecoder::Event::Frame:
        break;
    }
    m_answer = parseCodeTestAnswer(m_decoder.payload());
    return Status::Answered;
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
    CodeTestAnswerReader reader;
    char buffer[4096];
    for (;;) {
        if (!inTime())
            return;
        if (socket.bytesAvailable() == 0)
            socket.waitForReadyRead(10);
        if (socket.bytesAvailable() == 0) {
            if (socket.state() != QAbstractSocket::ConnectedState)
                return;
            QThread::msleep(10);
            continue;
        }
        const qint64 got = socket.read(buffer, qMin<qint64>(reader.wanted(), qint64(sizeof buffer)));
        if (got < 0)
            return;
        const CodeTestAnswerReader::Status status = reader.push(buffer, int(got));
        if (status == CodeTestAnswerReader::Status::Refused) {
            qCWarning(lcNetwork).noquote()
                << "code test: server" << pHost + QLatin1Char(':') + QString::number(pPort) << "announced an answer of"
                << reader.refusedSize() << QStringLiteral("bytes (limit %1); refused").arg(kMaxCodeTestAnswerSize);
            return;
        }
        if (status == CodeTestAnswerReader::Status::Answered)
            break;
    }
    const CodeTestAnswer &answer = reader.answer();
    if (!answer.valid)
        return;
    pFinder->mergeCodeTestAnswer(pCode, pHost, pPort, answer);
}

} // namespace Kiv::Network
