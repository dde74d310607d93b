// SPDX-License-Identifier: GPL-2.0-or-later
#include "streamconnection.h"

#include "connection.h"
#include "eventlog.h"
#include "h264decoder.h"
#include "options.h"
#include "roomactivity.h"
#include "wire.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <QDir>
#include <QJsonArray>
#include <QRegularExpression>

namespace {
const QStringList VideoOrder = {QStringLiteral("ID"), QStringLiteral("STREAMTYPE"), QStringLiteral("CODEC")};
const QStringList ControlsOrder = {QStringLiteral("ID"), QStringLiteral("STREAMTYPE"), QStringLiteral("TOUCH"),
                                   QStringLiteral("TRACKPAD")};
} // namespace

StreamConnection::StreamConnection(Connection *connection, const EmulatorOptions &options, RoomActivity *activity)
    : QObject(connection), m_connection(connection), m_options(options), m_activity(activity)
{
    connect(connection, &Connection::frameReceived, this, &StreamConnection::handleFrame);
    connect(connection, &Connection::closing, this, &StreamConnection::onClosing);
    connection->setKeepAlive(options.keepAliveMs);
    connection->setIdleTimeout(options.clientTimeoutMs);
}

StreamConnection::~StreamConnection() = default;

void StreamConnection::malformed(const QString &error)
{
    events().write(QStringLiteral("conn.malformed"),
                   {{QStringLiteral("conn"), m_connection->id()}, {QStringLiteral("error"), error}});
    m_connection->close(QStringLiteral("malformed stream message"));
}

void StreamConnection::handleFrame(const QByteArray &payload)
{
    if (!m_handshakeDone) {
        m_handshakeDone = true;
        if (payload.startsWith('{')) {
            handleHandshake(payload);
            return;
        }
        // A sender without handshake starts with its descriptors.
        events().write(QStringLiteral("stream.handshake"), {{QStringLiteral("conn"), m_connection->id()},
                                                            {QStringLiteral("ok"), false},
                                                            {QStringLiteral("missing"), true}});
    }
    handleCommand(payload);
}

void StreamConnection::handleHandshake(const QByteArray &payload)
{
    static const QRegularExpression exact(
        QStringLiteral("^\\{ \"connection_type\" : \"STREAM_VIDEO\", \"ID\" : (\\d{1,10})\\}$"));
    const QString text = QString::fromUtf8(payload);
    const QRegularExpressionMatch m = exact.match(text);
    bool ok = m.hasMatch();
    qint64 id = -1;
    if (ok) {
        id = m.captured(1).toLongLong();
        ok = id <= 0xffffffffLL;
    }
    QJsonObject e{{QStringLiteral("conn"), m_connection->id()},
                  {QStringLiteral("text"), wire::preview(payload, 200)},
                  {QStringLiteral("ok"), ok}};
    if (ok) {
        m_streamId = id;
        e.insert(QStringLiteral("id"), static_cast<double>(id));
    }
    events().write(QStringLiteral("stream.handshake"), e);
    if (!ok) {
        malformed(QStringLiteral("bad stream handshake"));
        return;
    }
    // The sender waits for any one frame before its descriptors; it does not
    // read it, and it is too short to be taken for a command.
    m_connection->send(QByteArrayLiteral("OK"));
    if (m_options.hasFault("garbage")) {
        // Each is wrong in its own way; a sound sender ignores them all.
        m_connection->send(QByteArrayLiteral("SHORT"));
        m_connection->send(wire::command("MOUS_EVENT") + QByteArray(3, '\x01'));
        m_connection->send(wire::command("KEYB_EVENT"));
        m_connection->send(wire::command("TACT_EVENT") + QByteArray(19, '\x02'));
        m_connection->send(wire::command("PENDINGFRA") + QByteArray(2, '\x05'));
        m_connection->send(wire::command("NOSUCHCMD") + QByteArray::fromHex("deadbeef"));
        m_connection->send(QByteArray::fromHex("ffffffffffffffffffffffff"));
        events().write(QStringLiteral("stream.send_raw"), {{QStringLiteral("conn"), m_connection->id()},
                                                           {QStringLiteral("fault"), QStringLiteral("garbage")}});
    }
    if (m_options.hasFault("oversized-frame")) {
        QByteArray bytes;
        wire::appendU32(bytes, 0x7fffffffu);
        bytes.append(QByteArray(16, 'x'));
        m_connection->sendRaw(bytes);
        // Framing is lost from here: no keep-alives or commands may follow.
        m_connection->setKeepAlive(0);
        m_broken = true;
        events().write(QStringLiteral("stream.send_raw"),
                       {{QStringLiteral("conn"), m_connection->id()},
                        {QStringLiteral("fault"), QStringLiteral("oversized-frame")}});
    }
}

void StreamConnection::handleCommand(const QByteArray &payload)
{
    if (payload.size() < wire::CommandWidth) {
        malformed(QStringLiteral("stream message shorter than its command field"));
        return;
    }
    const QString name = wire::commandName(payload);
    if (name == QLatin1String("FRAME")) {
        handleVideoFrame(payload);
    } else if (name == QLatin1String("MOUSEPOS")) {
        if (payload.size() < 26) {
            malformed(QStringLiteral("MOUSEPOS shorter than 26 bytes"));
            return;
        }
        const qint64 sent = wire::i64(payload.constData() + 18);
        m_activity->cursorMoved(m_streamId, wire::f32(payload.constData() + 10), wire::f32(payload.constData() + 14));
        events().write(QStringLiteral("stream.mousepos"),
                       {{QStringLiteral("conn"), m_connection->id()},
                        {QStringLiteral("stream"), static_cast<double>(m_streamId)},
                        {QStringLiteral("x"), static_cast<double>(wire::f32(payload.constData() + 10))},
                        {QStringLiteral("y"), static_cast<double>(wire::f32(payload.constData() + 14))},
                        {QStringLiteral("time_ms"), static_cast<double>(sent)},
                        {QStringLiteral("latency_ms"), static_cast<double>(EventLog::wallMillis() - sent)}});
    } else if (name == QLatin1String("PAUSE")) {
        events().write(QStringLiteral("stream.pause"), {{QStringLiteral("conn"), m_connection->id()},
                                                        {QStringLiteral("stream"), static_cast<double>(m_streamId)}});
    } else if (name == QLatin1String("DISCONNECT")) {
        events().write(QStringLiteral("stream.disconnect"),
                       {{QStringLiteral("conn"), m_connection->id()},
                        {QStringLiteral("stream"), static_cast<double>(m_streamId)}});
        m_connection->close(QStringLiteral("peer sent DISCONNECT"));
    } else if (name == QLatin1String("ID") || name == QLatin1String("STREAMTYPE") || name == QLatin1String("CODEC") ||
               name == QLatin1String("TOUCH") || name == QLatin1String("TRACKPAD")) {
        handleDescriptor(name, payload);
    } else {
        events().write(QStringLiteral("stream.unknown"), {{QStringLiteral("conn"), m_connection->id()},
                                                          {QStringLiteral("command"), wire::preview(payload, 10)},
                                                          {QStringLiteral("size"), payload.size()}});
    }
}

void StreamConnection::handleDescriptor(const QString &name, const QByteArray &payload)
{
    const QByteArray args = payload.mid(wire::CommandWidth);
    QJsonObject e{{QStringLiteral("conn"), m_connection->id()}, {QStringLiteral("name"), name}};
    if (name == QLatin1String("ID")) {
        if (args.size() < 4) {
            malformed(QStringLiteral("ID descriptor shorter than 14 bytes"));
            return;
        }
        const qint64 id = wire::u32(args.constData());
        e.insert(QStringLiteral("value"), static_cast<double>(id));
        if (m_streamId >= 0 && id != m_streamId)
            e.insert(QStringLiteral("warning"), QStringLiteral("differs from the handshake id"));
        m_streamId = id;
    } else if (name == QLatin1String("STREAMTYPE")) {
        const QString type = QString::fromUtf8(args);
        e.insert(QStringLiteral("value"), type);
        if (type == QLatin1String("VIDEO"))
            m_role = QStringLiteral("video");
        else if (type == QLatin1String("CONTROLS"))
            m_role = QStringLiteral("controls");
        else
            e.insert(QStringLiteral("warning"), QStringLiteral("unknown stream type"));
    } else {
        // CODEC may come without its byte (codec number not 0 or 1).
        if (args.isEmpty() && name != QLatin1String("CODEC")) {
            malformed(QStringLiteral("%1 descriptor without its byte").arg(name));
            return;
        }
        if (args.isEmpty())
            e.insert(QStringLiteral("value"), QJsonValue::Null);
        else
            e.insert(QStringLiteral("value"), static_cast<int>(static_cast<quint8>(args.at(0))));
    }
    m_descriptors.append(name);
    events().write(QStringLiteral("stream.descriptor"), e);

    const QStringList &expected = m_role == QLatin1String("controls") ? ControlsOrder : VideoOrder;
    if (!m_readyLogged && !m_role.isEmpty() && m_descriptors.size() >= expected.size()) {
        m_readyLogged = true;
        events().write(QStringLiteral("stream.ready"),
                       {{QStringLiteral("conn"), m_connection->id()},
                        {QStringLiteral("stream"), static_cast<double>(m_streamId)},
                        {QStringLiteral("role"), m_role},
                        {QStringLiteral("descriptors"), QJsonArray::fromStringList(m_descriptors)},
                        {QStringLiteral("order_ok"), m_descriptors.mid(0, expected.size()) == expected}});
        if (m_role == QLatin1String("video"))
            m_activity->streamStarted(m_streamId);
    }
}

void StreamConnection::handleVideoFrame(const QByteArray &payload)
{
    const qint64 arrival = m_connection->readMicros();
    const char *packet = payload.constData() + wire::CommandWidth;
    const int size = payload.size() - wire::CommandWidth;
    ++m_frames;
    QJsonObject e{{QStringLiteral("conn"), m_connection->id()},
                  {QStringLiteral("stream"), static_cast<double>(m_streamId)},
                  {QStringLiteral("seq"), m_frames},
                  {QStringLiteral("size"), size},
                  {QStringLiteral("key"), isKeyFramePacket(packet, size)},
                  {QStringLiteral("arrival_us"), static_cast<double>(arrival)},
                  {QStringLiteral("wall_ms"), static_cast<double>(EventLog::wallMillis())}};
    if (m_role != QLatin1String("video"))
        e.insert(QStringLiteral("warning"), QStringLiteral("FRAME on a connection not described as VIDEO"));
    m_activity->frameArrived(m_streamId, size);
    if (!m_decoder)
        m_decoder = std::make_unique<H264Decoder>();
    int pictures = 0;
    bool ok = m_decoder->isValid() && size > 0;
    if (ok) {
        ok = m_decoder->decode(packet, size, [&](const AVFrame *picture) {
            ++pictures;
            inspectPicture(picture, &e);
        });
    }
    const qint64 done = EventLog::monotonicMicros();
    e.insert(QStringLiteral("decoded"), pictures);
    e.insert(QStringLiteral("decode_us"), static_cast<double>(done - arrival));
    e.insert(QStringLiteral("done_us"), static_cast<double>(done));
    if (!ok)
        e.insert(QStringLiteral("error"), m_decoder->isValid()
                                              ? (size > 0 ? m_decoder->error() : QStringLiteral("empty packet"))
                                              : m_decoder->error());
    events().write(QStringLiteral("stream.frame"), e);
    if (m_options.returnData)
        sendCommand("RETURNDATA");
}

void StreamConnection::inspectPicture(const AVFrame *picture, QJsonObject *e)
{
    ++m_pictures;
    m_activity->offerPicture(m_streamId, picture);
    e->insert(QStringLiteral("width"), picture->width);
    e->insert(QStringLiteral("height"), picture->height);
    if (!m_options.lumaBlocks.isEmpty()) {
        QJsonArray luma;
        QString bits;
        for (int i = 0; i < m_options.lumaBlocks.size(); ++i) {
            const int l = H264Decoder::meanLuma(picture, m_options.lumaBlocks.at(i));
            luma.append(l);
            if (m_options.lumaGridStart >= 0 && i >= m_options.lumaGridStart)
                bits.append(l >= 128 ? QLatin1Char('1') : QLatin1Char('0'));
        }
        e->insert(QStringLiteral("luma"), luma);
        if (m_options.lumaGridStart >= 0)
            e->insert(QStringLiteral("bits"), bits);
    }
    if (!m_options.dumpDir.isEmpty() && (m_pictures - 1) % m_options.dumpEvery == 0) {
        const QString path = QDir(m_options.dumpDir)
                                 .filePath(QStringLiteral("stream%1-conn%2-%3.png")
                                               .arg(m_streamId)
                                               .arg(m_connection->id())
                                               .arg(m_pictures, 6, 10, QChar('0')));
        const bool saved = m_decoder->toImage(picture).save(path, "PNG");
        e->insert(QStringLiteral("dump"), saved ? path : QStringLiteral("failed: ") + path);
    }
}

void StreamConnection::onClosing()
{
    if (!m_decoder) {
        if (m_role == QLatin1String("video"))
            m_activity->streamEnded(m_streamId);
        return;
    }
    // Pictures held back for reordering are still shown at the end.
    int pictures = 0;
    QJsonObject e{{QStringLiteral("conn"), m_connection->id()},
                  {QStringLiteral("stream"), static_cast<double>(m_streamId)}};
    m_decoder->flush([&](const AVFrame *picture) {
        ++pictures;
        inspectPicture(picture, &e);
    });
    e.insert(QStringLiteral("decoded"), pictures);
    e.insert(QStringLiteral("total_pictures"), m_pictures);
    events().write(QStringLiteral("stream.flush"), e);
    if (m_role == QLatin1String("video") || m_pictures > 0)
        m_activity->streamEnded(m_streamId);
}

void StreamConnection::sendCommand(const char *name, const QByteArray &arguments)
{
    if (m_broken)
        return;
    m_connection->send(wire::command(name) + arguments);
    events().write(QStringLiteral("stream.send"), {{QStringLiteral("conn"), m_connection->id()},
                                                   {QStringLiteral("stream"), static_cast<double>(m_streamId)},
                                                   {QStringLiteral("command"), QString::fromLatin1(name)},
                                                   {QStringLiteral("size"), wire::CommandWidth + arguments.size()}});
}
