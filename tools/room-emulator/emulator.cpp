// SPDX-License-Identifier: GPL-2.0-or-later
#include "emulator.h"

#include "connection.h"
#include "discoveryresponder.h"
#include "eventlog.h"
#include "filetransfer.h"
#include "session.h"
#include "sessionmessage.h"
#include "streamconnection.h"
#include "streamreceiver.h"
#include "updatedownload.h"
#include "wire.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

namespace {
const QByteArray SessionGreeting = QByteArrayLiteral("{ \"connection_type\" : \"CLIENT\"}");

QJsonObject roomJson(const Room &r)
{
    return {{QStringLiteral("code"), r.code},
            {QStringLiteral("name"), r.name},
            {QStringLiteral("id"), r.id},
            {QStringLiteral("users"), r.usersCount},
            {QStringLiteral("max"), r.maxUsersCount},
            {QStringLiteral("type"), r.type}};
}
} // namespace

Emulator::Emulator(const EmulatorOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_nextTransferId(options.firstTransferId),
      m_nextStreamId(options.firstStreamId)
{
    for (const Room &r : m_options.rooms)
        m_rooms.add(r);
    m_discovery = new DiscoveryResponder(m_options, m_rooms, this);
    m_streams = new StreamReceiver(m_options, &m_activity, this);
    connect(&m_activity, &RoomActivity::inputReady, this, [this](qint64 stream, const QByteArray &command) {
        // The room's input goes where the client reads it, the CONTROLS connection.
        StreamConnection *target = m_streams->find(stream, QStringLiteral("controls"));
        if (target)
            target->sendCommand(command.left(wire::CommandWidth).trimmed().constData(),
                                command.mid(wire::CommandWidth));
    });
    connect(&m_tcp, &QTcpServer::newConnection, this, &Emulator::onNewConnection);
}

Emulator::~Emulator() = default;

bool Emulator::start(QString *error)
{
    if (!m_options.dumpDir.isEmpty() && !QDir().mkpath(m_options.dumpDir)) {
        *error = QStringLiteral("cannot create %1").arg(m_options.dumpDir);
        return false;
    }
    if (!m_options.saveDir.isEmpty() && !QDir().mkpath(m_options.saveDir)) {
        *error = QStringLiteral("cannot create %1").arg(m_options.saveDir);
        return false;
    }
    if (!m_options.captureImage.isEmpty()) {
        QFile f(m_options.captureImage);
        if (!f.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1").arg(m_options.captureImage);
            return false;
        }
        m_capture = f.readAll();
    }
    if (!m_tcp.listen(m_options.bind, static_cast<quint16>(m_options.tcpPort))) {
        *error = QStringLiteral("TCP port %1: %2").arg(m_options.tcpPort).arg(m_tcp.errorString());
        return false;
    }
    if (!m_streams->listen(error) || !m_discovery->bind(error))
        return false;
    m_discovery->setAnnouncedPort(
        static_cast<quint16>(m_options.announcePort >= 0 ? m_options.announcePort : m_tcp.serverPort()));
    QJsonArray rooms;
    for (const Room &r : m_rooms.all())
        rooms.append(roomJson(r));
    QJsonArray faults;
    for (const QString &f : m_options.faults)
        faults.append(f);
    events().write(QStringLiteral("ready"),
                   {{QStringLiteral("udp_port"), m_discovery->port()},
                    {QStringLiteral("tcp_port"), m_tcp.serverPort()},
                    {QStringLiteral("stream_port"), m_streams->port()},
                    {QStringLiteral("bind"), m_options.bind.toString()},
                    {QStringLiteral("rooms"), rooms},
                    {QStringLiteral("faults"), faults},
                    {QStringLiteral("pid"), static_cast<double>(QCoreApplication::applicationPid())}});
    return true;
}

void Emulator::shutdown(const QString &reason)
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    events().write(QStringLiteral("shutdown"), {{QStringLiteral("reason"), reason}});
    m_tcp.close();
    const QList<Connection *> all = findChildren<Connection *>();
    for (Connection *c : all)
        c->close(QStringLiteral("shutdown"));
    // Connections wait for their last bytes to leave, but not forever.
    auto *poll = new QTimer(this);
    const qint64 deadline = EventLog::monotonicMicros() + 2000000;
    connect(poll, &QTimer::timeout, this, [this, poll, deadline] {
        if (findChildren<Connection *>().isEmpty() || EventLog::monotonicMicros() > deadline) {
            poll->stop();
            emit finished();
        }
    });
    poll->start(20);
}

int Emulator::acceptTransfer(const QString &fileName)
{
    const int id = m_nextTransferId++;
    registerTransfer(id, fileName);
    return id;
}

void Emulator::registerTransfer(int transferId, const QString &fileName)
{
    // Bounded: a client that asks forever does not grow this without end.
    if (m_transfers.size() >= 4096)
        m_transfers.erase(m_transfers.begin());
    m_transfers.insert(transferId, fileName);
    events().write(QStringLiteral("file.accepted"),
                   {{QStringLiteral("transfer_id"), transferId}, {QStringLiteral("file_name"), fileName}});
}

QJsonObject Emulator::nextStreamStart()
{
    const qint64 id = m_nextStreamId++;
    return {{QStringLiteral("Port"), m_streams->port()},
            {QStringLiteral("ID"), static_cast<double>(id & 0xffffffffLL)},
            {QStringLiteral("Ip"), m_options.streamIp}};
}

QByteArray Emulator::captureImage()
{
    if (m_options.captureImage.isEmpty() && m_activity.watched()) {
        // With a window, the capture is the window itself, taken anew each time.
        const QByteArray shot = m_activity.capture();
        if (!shot.isEmpty())
            return shot;
    }
    if (m_capture.isEmpty()) {
        // A small recognisable picture: a diagonal gradient.
        QImage image(320, 180, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb(x * 255 / 319, y * 255 / 179, 128);
        }
        QBuffer buffer(&m_capture);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    return m_capture;
}

void Emulator::onNewConnection()
{
    while (QTcpSocket *socket = m_tcp.nextPendingConnection()) {
        if (Connection::openCount() >= m_options.maxConnections || m_shuttingDown) {
            events().write(QStringLiteral("conn.refused"),
                           {{QStringLiteral("port"), QStringLiteral("tcp")},
                            {QStringLiteral("reason"), QStringLiteral("too many connections")}});
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *connection = new Connection(socket, QStringLiteral("tcp"), this);
        connection->setIdleTimeout(m_options.clientTimeoutMs);
        // The first frame decides the exchange; the handler then takes over.
        auto link = std::make_shared<QMetaObject::Connection>();
        *link = connect(connection, &Connection::frameReceived, this, [this, connection, link](const QByteArray &p) {
            QObject::disconnect(*link);
            onFirstFrame(connection, p);
        });
    }
}

void Emulator::onFirstFrame(Connection *connection, const QByteArray &payload)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
    const QJsonObject request = doc.object();
    const QString type = request.value(QStringLiteral("connection_type")).toString();
    QJsonObject e{{QStringLiteral("conn"), connection->id()}, {QStringLiteral("connection_type"), type}};
    if (error.error != QJsonParseError::NoError || !doc.isObject() || type.isEmpty()) {
        e.insert(QStringLiteral("error"), QStringLiteral("first frame is not a JSON greeting"));
        e.insert(QStringLiteral("bytes"), wire::preview(payload));
        events().write(QStringLiteral("conn.malformed"), e);
        connection->close(QStringLiteral("malformed greeting"));
        return;
    }
    if (type == QLatin1String("CODE_TEST")) {
        answerCodeTest(connection, request);
    } else if (type == QLatin1String("CLIENT_UPDATE")) {
        const QString action = request.value(QStringLiteral("action")).toString();
        QJsonObject u{{QStringLiteral("conn"), connection->id()},
                      {QStringLiteral("action"), action},
                      {QStringLiteral("request"), request}};
        if (action == QLatin1String("check")) {
            if (m_options.updateAnswer < 0) {
                // Held open, unanswered, until the client gives up.
                u.insert(QStringLiteral("answer"), QJsonValue::Null);
                events().write(QStringLiteral("update.check"), u);
                return;
            }
            u.insert(QStringLiteral("answer"), m_options.updateAnswer);
            events().write(QStringLiteral("update.check"), u);
            connection->send(QByteArray(1, static_cast<char>(m_options.updateAnswer)));
        } else if (action == QLatin1String("get")) {
            events().write(QStringLiteral("update.get"), u);
            (new UpdateDownload(connection, m_options.installer, m_options.chunkSize))->start();
        } else {
            u.insert(QStringLiteral("error"), QStringLiteral("unknown update action"));
            events().write(QStringLiteral("conn.malformed"), u);
            connection->close(QStringLiteral("unknown update action"));
        }
    } else if (type == QLatin1String("CLIENT")) {
        events().write(QStringLiteral("session.greeting"), {{QStringLiteral("conn"), connection->id()},
                                                            {QStringLiteral("exact"), payload == SessionGreeting}});
        auto *session = new Session(connection, this);
        m_sessions.append(session);
        m_sessions.removeAll(QPointer<Session>());
        session->start();
    } else if (type == QLatin1String("FILE_TRANSFER")) {
        startFileTransfer(connection, request);
    } else if (type == QLatin1String("STREAM_VIDEO")) {
        disconnect(connection, nullptr, this, nullptr);
        m_streams->adopt(connection, payload);
    } else {
        e.insert(QStringLiteral("error"), QStringLiteral("unknown connection_type"));
        events().write(QStringLiteral("conn.malformed"), e);
        connection->close(QStringLiteral("unknown connection_type"));
    }
}

void Emulator::answerCodeTest(Connection *connection, const QJsonObject &request)
{
    const QString code = request.value(QStringLiteral("code_to_test")).toString();
    const Room *room = m_rooms.find(code);
    events().write(QStringLiteral("codetest"),
                   {{QStringLiteral("conn"), connection->id()},
                    {QStringLiteral("code"), code},
                    {QStringLiteral("client_type"), request.value(QStringLiteral("client_type"))},
                    {QStringLiteral("valid"), room != nullptr}});
    if (m_options.hasFault("garbage")) {
        connection->send(QByteArrayLiteral("this is not JSON \x01\x02"));
        return;
    }
    if (m_options.hasFault("oversized-frame")) {
        QByteArray bytes;
        wire::appendU32(bytes, 0x7fffffffu);
        bytes.append(QByteArray(16, 'x'));
        connection->sendRaw(bytes);
        return;
    }
    QJsonObject answer{{QStringLiteral("is_valid"), room != nullptr}};
    if (room) {
        answer.insert(QStringLiteral("id"), room->id);
        answer.insert(QStringLiteral("name"), room->name);
        answer.insert(QStringLiteral("type"), room->type);
        answer.insert(QStringLiteral("users_count"), room->usersCount);
        answer.insert(QStringLiteral("max_users_count"), room->maxUsersCount);
    }
    connection->send(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

void Emulator::startFileTransfer(Connection *connection, const QJsonObject &greeting)
{
    const QJsonValue idValue = greeting.value(QStringLiteral("transfer_id"));
    const int id = idValue.toInt(-1);
    if (!idValue.isDouble() || !m_transfers.contains(id)) {
        events().write(QStringLiteral("conn.malformed"),
                       {{QStringLiteral("conn"), connection->id()},
                        {QStringLiteral("error"), QStringLiteral("transfer id not announced by FileAccepted")},
                        {QStringLiteral("transfer_id"), idValue}});
        connection->close(QStringLiteral("unknown transfer id"));
        return;
    }
    // Each accepted id carries one file.
    const QString fileName = m_transfers.take(id);
    (new FileTransfer(connection, id, fileName, m_options, &m_activity))->start();
}
