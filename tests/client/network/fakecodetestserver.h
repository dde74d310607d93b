// SPDX-License-Identifier: GPL-2.0-or-later
// A display server's side of the code test, written from the byte layout:
// reads one request frame per connection and runs the test's script on it.
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

namespace TestPeers {

// 4-byte little-endian length, then the payload.
inline QByteArray frame(const QByteArray &payload, qint64 length = -2)
{
    const quint32 n = static_cast<quint32>(length == -2 ? payload.size() : length);
    QByteArray out;
    out.append(char(n & 0xff)).append(char((n >> 8) & 0xff)).append(char((n >> 16) & 0xff)).append(char(n >> 24));
    return out + payload;
}

inline QByteArray answerJson(bool valid, const QString &id, const QString &name = "Room", int users = 1,
                             int maxUsers = 8, int type = 2)
{
    return QStringLiteral(R"({"is_valid": %1, "id": "%2", "name": "%3", "type": %4, "users_count": %5, )"
                          R"("max_users_count": %6})")
        .arg(valid ? "true" : "false", id, name)
        .arg(type)
        .arg(users)
        .arg(maxUsers)
        .toUtf8();
}

class FakeCodeTestServer : public QObject {
public:
    // Called once per connection with the decoded request object.
    std::function<void(QTcpSocket *, const QJsonObject &)> onRequest;
    QList<QJsonObject> requests;
    QList<QByteArray> rawRequests;

    FakeCodeTestServer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                auto *buffer = new QByteArray;
                connect(s, &QObject::destroyed, this, [buffer] { delete buffer; });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QTcpSocket::readyRead, this, [this, s, buffer] {
                    if (s->property("handled").toBool()) {
                        s->readAll();
                        return;
                    }
                    buffer->append(s->readAll());
                    if (buffer->size() < 4)
                        return;
                    const quint32 n = quint8((*buffer)[0]) | quint8((*buffer)[1]) << 8 | quint8((*buffer)[2]) << 16 |
                                      quint32(quint8((*buffer)[3])) << 24;
                    if (quint32(buffer->size()) < 4 + n)
                        return;
                    s->setProperty("handled", true);
                    const QJsonObject request = QJsonDocument::fromJson(buffer->mid(4, int(n))).object();
                    requests.append(request);
                    rawRequests.append(buffer->mid(4, int(n)));
                    if (onRequest)
                        onRequest(s, request);
                });
            }
        });
    }
    quint16 port() const { return server.serverPort(); }

    QTcpServer server;
};

} // namespace TestPeers
