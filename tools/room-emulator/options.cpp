// SPDX-License-Identifier: GPL-2.0-or-later
#include "options.h"

#include "wire.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

namespace {

const char *const Faults[] = {"silent",  "no-keepalive",    "close-mid-transfer",
                              "garbage", "oversized-frame", "slow-stream"};

QList<QCommandLineOption> optionList()
{
    using O = QCommandLineOption;
    return {
        O(QStringLiteral("bind"), QStringLiteral("Address to listen on (UDP and TCP). Default 127.0.0.1."),
          QStringLiteral("addr")),
        O(QStringLiteral("udp-port"), QStringLiteral("Discovery UDP port; 0 lets the system choose. Default 48504."),
          QStringLiteral("port")),
        O(QStringLiteral("udp-share"),
          QStringLiteral("Bind the discovery port shared, so several emulators hear broadcasts on it.")),
        O(QStringLiteral("multicast"),
          QStringLiteral("Also hear discovery requests sent to this multicast group (e.g. 239.42.33.63); the UDP "
                         "socket then binds to all IPv4 addresses and joins the group on the --bind interface."),
          QStringLiteral("group")),
        O(QStringLiteral("no-discovery"), QStringLiteral("Start with discovery answers switched off.")),
        O(QStringLiteral("tcp-port"),
          QStringLiteral("TCP port of code test, update, session and file transfer; 0 lets the system choose. "
                         "Default 18413."),
          QStringLiteral("port")),
        O(QStringLiteral("announce-port"),
          QStringLiteral("TCP port written in discovery answers. Default: the real TCP port."), QStringLiteral("port")),
        O(QStringLiteral("stream-port"), QStringLiteral("Stream receiver port; default 0 (system choice)."),
          QStringLiteral("port")),
        O(QStringLiteral("stream-ip"), QStringLiteral("\"Ip\" sent in StreamStart. Default 127.0.0.1."),
          QStringLiteral("text")),
        O(QStringLiteral("room"),
          QStringLiteral("Hosted room CODE:NAME:USERS:MAX:TYPE:ID (trailing fields optional; repeatable). "
                         "Default ABCDE:Room emulator:1:10:2:emu-1."),
          QStringLiteral("code:name:users:max:type:id")),
        O(QStringLiteral("update-answer"),
          QStringLiteral("Byte answered to an update check (0-255), or none: read the check and never answer. "
                         "Default 0."),
          QStringLiteral("n")),
        O(QStringLiteral("installer"), QStringLiteral("File sent on an update download. Default: an empty installer."),
          QStringLiteral("file")),
        O(QStringLiteral("chunk-size"), QStringLiteral("Download chunk size in bytes. Default 50000."),
          QStringLiteral("n")),
        O(QStringLiteral("save-dir"),
          QStringLiteral("Folder for received files. Default: files are checked (size, sha256) and discarded."),
          QStringLiteral("dir")),
        O(QStringLiteral("no-hash"),
          QStringLiteral("Do not hash received files (file.saved reports no sha256): for throughput benchmarks, "
                         "where hashing would be the slowest step.")),
        O(QStringLiteral("settings-version"),
          QStringLiteral("\"version\" of SessionSettings: none (left out), string (\"1\", default), number (1), "
                         "string:TEXT or number:N."),
          QStringLiteral("v")),
        O(QStringLiteral("device-name"), QStringLiteral("\"device_name\" of SessionSettings."), QStringLiteral("name")),
        O(QStringLiteral("allow-capture"), QStringLiteral("\"allowDistantScreenshot\": yes or no. Default yes."),
          QStringLiteral("yes|no")),
        O(QStringLiteral("allow-fullscreen"),
          QStringLiteral("\"allowStreamFullscreen\" and \"allowFullscreen\": yes or no. Default yes."),
          QStringLiteral("yes|no")),
        O(QStringLiteral("allowed-ext"),
          QStringLiteral("AllowedExtensions, comma separated. Default pdf,png,jpg,jpeg,txt,url,docx,pptx,xlsx,mp4."),
          QStringLiteral("list")),
        O(QStringLiteral("keepalive-ms"),
          QStringLiteral("Keep-alive period on sessions and stream connections. Default 2000."), QStringLiteral("ms")),
        O(QStringLiteral("client-timeout-ms"),
          QStringLiteral("Close a connection whose peer sent no frame for this long; 0 never. Default 20000."),
          QStringLiteral("ms")),
        O(QStringLiteral("capture-image"), QStringLiteral("Image file sent as CaptureImage. Default: a generated PNG."),
          QStringLiteral("file")),
        O(QStringLiteral("capture-answer"),
          QStringLiteral("Answer to CaptureRequest: image, refused or error. Default image."), QStringLiteral("kind")),
        O(QStringLiteral("first-transfer-id"), QStringLiteral("First FileAccepted transfer id. Default 1."),
          QStringLiteral("n")),
        O(QStringLiteral("first-stream-id"), QStringLiteral("First StreamStart \"ID\". Default 1."),
          QStringLiteral("n")),
        O(QStringLiteral("return-data"), QStringLiteral("Send one \"RETURNDATA\" per received \"FRAME\".")),
        O(QStringLiteral("dump-frames"),
          QStringLiteral("Write decoded frames as PNG into this folder (PNG encoding costs tens of ms per large "
                         "picture: thin out with --dump-every)."),
          QStringLiteral("dir")),
        O(QStringLiteral("dump-every"), QStringLiteral("Dump every Nth decoded frame. Default 1."),
          QStringLiteral("n")),
        O(QStringLiteral("luma-block"),
          QStringLiteral("Report the mean luma (0-255) of this block of each decoded frame in \"luma\" "
                         "(repeatable, in order)."),
          QStringLiteral("x,y,w,h")),
        O(QStringLiteral("luma-grid"),
          QStringLiteral("Split the WxH region at X,Y into COLSxROWS equal blocks and report, row by row, the mean "
                         "luma of the central half of each (edges blur under compression) in \"luma\", and "
                         "\"bits\" (1 where luma >= 128)."),
          QStringLiteral("x,y,w,h,cols,rows")),
        O(QStringLiteral("no-answer"),
          QStringLiteral("Leave this client request unanswered (repeatable): FileRequest, StreamRequest, "
                         "CaptureRequest, FullscreenOn, FullscreenOff. Answer by command instead."),
          QStringLiteral("request")),
        O(QStringLiteral("fault"),
          QStringLiteral("Misbehave (repeatable): silent, no-keepalive, close-mid-transfer, garbage, "
                         "oversized-frame, slow-stream. See FAULTS."),
          QStringLiteral("name")),
        O(QStringLiteral("slow-rate"),
          QStringLiteral("Bytes per second read from a video connection with slow-stream. Default 262144."),
          QStringLiteral("bytes")),
        O(QStringLiteral("display"),
          QStringLiteral("Open the room display window: the stream, notes, links and files as the room shows "
                         "them, the room code while nothing streams; clicks and keys on the stream go back to "
                         "the client as remote input, and captures are taken of this window.")),
        O(QStringLiteral("display-geometry"),
          QStringLiteral("Size and place of the room display window, WxH or WxH+X+Y. Default 1280x720."),
          QStringLiteral("geometry")),
        O(QStringLiteral("events"), QStringLiteral("Write events to this file instead of standard output."),
          QStringLiteral("file")),
        O(QStringLiteral("quit-on-eof"), QStringLiteral("Exit when standard input reaches its end.")),
        O(QStringLiteral("max-connections"),
          QStringLiteral("Connections held at once on all ports; more are refused. Default 64."), QStringLiteral("n")),
    };
}

const char *const CommandsHelp = R"(
CONTROL COMMANDS (one JSON object per line on standard input; "session" and
"stream" select a target by id, default the newest; each command is answered
by a "cmd.ok" or "cmd.error" event):
  {"cmd":"send","type":T[,"body":JSON|"text":S|"hex":H|"int":N][,"session":ID]}
      send a session message; T is a number or a name (IdentityRequest,
      FileAccepted, StreamStart, CaptureImage, CaptureRefused, CaptureError,
      SessionSettings, AllowedExtensions, RemoteControlQuery, FullscreenState);
      a FileAccepted with "int" also opens that transfer id for the file of
      the latest FileRequest
  {"cmd":"raw","hex":H[,"session":ID]}        send one frame with these bytes
  {"cmd":"kick"[,"session":ID]}               close a session (all with "all":true)
  {"cmd":"silent","on":BOOL}                  stop/resume keep-alives everywhere
  {"cmd":"users","code":C,"users":N[,"max":M]}  change a room's user counts
  {"cmd":"discovery","on":BOOL}               answer discovery requests or not
  {"cmd":"input","kind":"mouse"|"rpos","pointer":I,"x":F,"y":F,"action":A,"button":B}
  {"cmd":"input","kind":"key","action":A,"vk":V,"scan":S}
  {"cmd":"input","kind":"touch","contact":I,"x":F,"y":F,"action":A,"flag":G}
      send MOUS_EVENT, RPOS_EVENT, KEYB_EVENT or TACT_EVENT on a stream
      (optional "conn":"controls" (default) or "video", "stream":ID)
  {"cmd":"pending","frames":N}                send PENDINGFRA (optional "conn","stream")
  {"cmd":"returndata"}                        send RETURNDATA (optional "conn","stream")
  {"cmd":"stream-disconnect"}                 send DISCONNECT on both stream connections
  {"cmd":"status"}                            "status" event: rooms, sessions, streams
  {"cmd":"quit"}                              clean shutdown (also SIGINT, SIGTERM)

EVENTS (one JSON object per line on standard output or --events FILE; every
line has "event", "t" (ms since start, monotonic) and "mono_us" (CLOCK_MONOTONIC
microseconds)). A writer thread queues up to 64 MiB for a reader that falls
behind; beyond that lines are dropped and counted (events.dropped). Main ones:
  ready {udp_port,tcp_port,stream_port,rooms}     listening; ports as bound
  discovery.request / discovery.answer / discovery.ignored
  conn.open {conn,peer,port} conn.closed {conn,reason} conn.malformed {conn,error}
  codetest {conn,code,valid}  update.check {answer}  update.chunk {offset,size}
  update.done {size,acks}
  session.open {session} session.recv {session,type,name,size,body}
  session.send {session,type,name,size[,body]} session.closed {session,reason}
  file.accepted {transfer_id,file_name} file.header {transfer_id,size}
  file.saved {transfer_id,path,size,sha256} file.aborted {transfer_id,reason}
  stream.open {conn,stream?} stream.handshake {conn,text,ok,id}
  stream.descriptor {conn,name,value} stream.ready {conn,stream,role,codec|touch}
  stream.frame {conn,stream,seq,size,key,arrival_us,wall_ms,decoded,width,height,
                decode_us[,luma,bits][,dump]}
  stream.pause / stream.mousepos {x,y,time_ms,latency_ms} / stream.disconnect
  stream.send {conn,command} stream.closed {conn,reason}
  with --display: display.shown {window,x,y,width,height}
  display.stream {stream,x,y,width,height,picture_width,picture_height,
                  fullscreen} (where the picture lies in the window)
  display.note {x,y,width,height,color,tag,text} display.item {kind,text[,size,sha256]}
  display.fullscreen {on} display.error {stream,error}
  (input from the window goes out as stream.send MOUS_EVENT / KEYB_EVENT)

FAULTS (--fault):
  silent              after the session greeting send nothing at all
  no-keepalive        send the opening messages, then no keep-alives
  close-mid-transfer  close a file transfer connection after its first data frame
  garbage             session: after the opening messages send malformed frames;
                      code test: answer non-JSON; stream: after the handshake
                      answer send short, truncated and unknown commands
  oversized-frame     session, code test and stream (after the handshake
                      answer): announce a 2 GiB frame, send a few bytes, then
                      nothing more on that connection
  slow-stream         read video connections at --slow-rate bytes per second
)";

bool parseBool(const QString &v, bool *out)
{
    const QString s = v.toLower();
    if (s == QLatin1String("yes") || s == QLatin1String("true") || s == QLatin1String("1") ||
        s == QLatin1String("on")) {
        *out = true;
        return true;
    }
    if (s == QLatin1String("no") || s == QLatin1String("false") || s == QLatin1String("0") ||
        s == QLatin1String("off")) {
        *out = false;
        return true;
    }
    return false;
}

bool parseInts(const QString &v, int count, QList<int> *out)
{
    const QStringList parts = v.split(QLatin1Char(','));
    if (parts.size() != count)
        return false;
    for (const QString &p : parts) {
        bool ok = false;
        const int n = p.trimmed().toInt(&ok);
        if (!ok || n < 0)
            return false;
        out->append(n);
    }
    return true;
}

bool portValue(const QString &v, int *out)
{
    bool ok = false;
    const int n = v.toInt(&ok);
    if (!ok || n < 0 || n > 65535)
        return false;
    *out = n;
    return true;
}

} // namespace

QString helpText()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A stand-in room display server for tests, demos and benchmarks: answers discovery, code "
                       "tests, update checks and downloads, holds sessions, receives file transfers and H.264 "
                       "streams, and records everything as JSON lines."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(optionList());
    return parser.helpText() + QString::fromUtf8(CommandsHelp);
}

ParseOutcome parseOptions(const QStringList &arguments, EmulatorOptions *o)
{
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(optionList());
    auto fail = [](const QString &message) {
        fprintf(stderr, "room-emulator: %s\n", qPrintable(message));
        return ParseOutcome::ExitError;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        fputs(qPrintable(helpText()), stdout);
        return ParseOutcome::ExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        fprintf(stdout, "room-emulator " VELMORANT_VERSION "\n");
        return ParseOutcome::ExitOk;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    auto value = [&](const char *name) { return parser.value(QString::fromLatin1(name)); };
    auto isSet = [&](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    auto intValue = [&](const char *name, int *out, int min, int max) {
        if (!isSet(name))
            return true;
        bool ok = false;
        const int n = value(name).toInt(&ok);
        if (!ok || n < min || n > max) {
            fail(QStringLiteral("--%1: expected a number from %2 to %3").arg(QLatin1String(name)).arg(min).arg(max));
            return false;
        }
        *out = n;
        return true;
    };

    if (isSet("bind") && !o->bind.setAddress(value("bind")))
        return fail(QStringLiteral("--bind: not an address: %1").arg(value("bind")));
    for (const char *p : {"udp-port", "tcp-port", "stream-port", "announce-port"}) {
        if (isSet(p)) {
            int n = 0;
            if (!portValue(value(p), &n))
                return fail(QStringLiteral("--%1: not a port").arg(QLatin1String(p)));
            if (qstrcmp(p, "udp-port") == 0)
                o->udpPort = n;
            else if (qstrcmp(p, "tcp-port") == 0)
                o->tcpPort = n;
            else if (qstrcmp(p, "stream-port") == 0)
                o->streamPort = n;
            else
                o->announcePort = n;
        }
    }
    o->udpShare = isSet("udp-share");
    if (isSet("multicast")) {
        if (!o->multicastGroup.setAddress(value("multicast")) || !o->multicastGroup.isMulticast() ||
            o->multicastGroup.protocol() != QAbstractSocket::IPv4Protocol)
            return fail(QStringLiteral("--multicast: not an IPv4 multicast group: %1").arg(value("multicast")));
    }
    for (const QString &r : parser.values(QStringLiteral("no-answer"))) {
        static const QStringList known{QStringLiteral("FileRequest"), QStringLiteral("StreamRequest"),
                                       QStringLiteral("CaptureRequest"), QStringLiteral("FullscreenOn"),
                                       QStringLiteral("FullscreenOff")};
        if (!known.contains(r))
            return fail(QStringLiteral("--no-answer: one of %1").arg(known.join(QStringLiteral(", "))));
        o->noAnswer.insert(r);
    }
    o->discovery = !isSet("no-discovery");
    if (isSet("stream-ip"))
        o->streamIp = value("stream-ip");
    for (const QString &text : parser.values(QStringLiteral("room"))) {
        Room r;
        QString error;
        if (!parseRoom(text, &r, &error))
            return fail(QStringLiteral("--room: %1").arg(error));
        o->rooms.append(r);
    }
    if (o->rooms.isEmpty()) {
        Room r;
        QString error;
        parseRoom(QStringLiteral("ABCDE:Room emulator:1:10:2:emu-1"), &r, &error);
        o->rooms.append(r);
    }
    if (value("update-answer") == QLatin1String("none"))
        o->updateAnswer = -1;
    else if (!intValue("update-answer", &o->updateAnswer, 0, 255))
        return ParseOutcome::ExitError;
    if (!intValue("chunk-size", &o->chunkSize, 1, 16 << 20) ||
        !intValue("keepalive-ms", &o->keepAliveMs, 10, 3600000) ||
        !intValue("client-timeout-ms", &o->clientTimeoutMs, 0, 86400000) ||
        !intValue("first-transfer-id", &o->firstTransferId, 0, 2147483647) ||
        !intValue("first-stream-id", &o->firstStreamId, 0, 2147483647) ||
        !intValue("dump-every", &o->dumpEvery, 1, 1000000) || !intValue("slow-rate", &o->slowRate, 1, 1 << 30) ||
        !intValue("max-connections", &o->maxConnections, 1, 100000))
        return ParseOutcome::ExitError;
    if (isSet("installer")) {
        o->installer = value("installer");
        QFileInfo fi(o->installer);
        if (!fi.isFile() || !fi.isReadable())
            return fail(QStringLiteral("--installer: cannot read %1").arg(o->installer));
        if (fi.size() > 0x7fffffffLL)
            return fail(QStringLiteral("--installer: larger than the 32-bit size field allows"));
    }
    o->saveDir = value("save-dir");
    o->noHash = isSet("no-hash");
    if (isSet("settings-version")) {
        const QString v = value("settings-version");
        if (v == QLatin1String("none")) {
            o->settingsVersionPresent = false;
        } else if (v == QLatin1String("string")) {
            o->settingsVersionValue = QStringLiteral("1");
        } else if (v == QLatin1String("number")) {
            o->settingsVersionIsNumber = true;
            o->settingsVersionValue = QStringLiteral("1");
        } else if (v.startsWith(QLatin1String("string:"))) {
            o->settingsVersionValue = v.mid(7);
        } else if (v.startsWith(QLatin1String("number:"))) {
            bool ok = false;
            v.mid(7).toDouble(&ok);
            if (!ok)
                return fail(QStringLiteral("--settings-version: number:N needs a number"));
            o->settingsVersionIsNumber = true;
            o->settingsVersionValue = v.mid(7);
        } else {
            return fail(QStringLiteral("--settings-version: none, string, number, string:TEXT or number:N"));
        }
    }
    if (isSet("device-name"))
        o->deviceName = value("device-name");
    if (isSet("allow-capture") && !parseBool(value("allow-capture"), &o->allowCapture))
        return fail(QStringLiteral("--allow-capture: yes or no"));
    if (isSet("allow-fullscreen") && !parseBool(value("allow-fullscreen"), &o->allowFullscreen))
        return fail(QStringLiteral("--allow-fullscreen: yes or no"));
    if (isSet("allowed-ext")) {
        for (const QString &e : value("allowed-ext").split(QLatin1Char(','), Qt::SkipEmptyParts))
            o->allowedExtensions.append(e.trimmed());
    } else {
        o->allowedExtensions =
            QStringList{QStringLiteral("pdf"),  QStringLiteral("png"), QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                        QStringLiteral("txt"),  QStringLiteral("url"), QStringLiteral("docx"), QStringLiteral("pptx"),
                        QStringLiteral("xlsx"), QStringLiteral("mp4")};
    }
    if (isSet("capture-image")) {
        o->captureImage = value("capture-image");
        QFileInfo fi(o->captureImage);
        if (!fi.isFile() || !fi.isReadable())
            return fail(QStringLiteral("--capture-image: cannot read %1").arg(o->captureImage));
        if (fi.size() > wire::MaxPayload - 4)
            return fail(QStringLiteral("--capture-image: file too large"));
    }
    if (isSet("capture-answer")) {
        o->captureAnswer = value("capture-answer");
        if (o->captureAnswer != QLatin1String("image") && o->captureAnswer != QLatin1String("refused") &&
            o->captureAnswer != QLatin1String("error"))
            return fail(QStringLiteral("--capture-answer: image, refused or error"));
    }
    o->returnData = isSet("return-data");
    o->dumpDir = value("dump-frames");
    for (const QString &b : parser.values(QStringLiteral("luma-block"))) {
        QList<int> n;
        if (!parseInts(b, 4, &n) || n[2] == 0 || n[3] == 0)
            return fail(QStringLiteral("--luma-block: x,y,w,h"));
        o->lumaBlocks.append(QRect(n[0], n[1], n[2], n[3]));
    }
    if (isSet("luma-grid")) {
        QList<int> n;
        if (!parseInts(value("luma-grid"), 6, &n) || n[2] == 0 || n[3] == 0 || n[4] == 0 || n[5] == 0 ||
            n[4] * n[5] > 4096)
            return fail(QStringLiteral("--luma-grid: x,y,w,h,cols,rows (at most 4096 blocks)"));
        const int bw = n[2] / n[4];
        const int bh = n[3] / n[5];
        if (bw < 2 || bh < 2)
            return fail(QStringLiteral("--luma-grid: blocks smaller than 2x2"));
        o->lumaGridStart = o->lumaBlocks.size();
        for (int r = 0; r < n[5]; ++r) {
            for (int c = 0; c < n[4]; ++c)
                o->lumaBlocks.append(QRect(n[0] + c * bw + bw / 4, n[1] + r * bh + bh / 4, bw / 2, bh / 2));
        }
    }
    for (const QString &f : parser.values(QStringLiteral("fault"))) {
        bool known = false;
        for (const char *name : Faults)
            known = known || f == QLatin1String(name);
        if (!known)
            return fail(QStringLiteral("--fault: unknown fault %1").arg(f));
        o->faults.insert(f);
    }
    o->display = isSet("display");
    if (isSet("display-geometry")) {
        static const QRegularExpression geometry(
            QStringLiteral("^(\\d{2,5})x(\\d{2,5})(?:\\+(\\d{1,5})\\+(\\d{1,5}))?$"));
        const QRegularExpressionMatch m = geometry.match(value("display-geometry"));
        if (!m.hasMatch() || m.captured(1).toInt() < 320 || m.captured(2).toInt() < 240 ||
            m.captured(1).toInt() > 16384 || m.captured(2).toInt() > 16384)
            return fail(QStringLiteral("--display-geometry: WxH or WxH+X+Y, at least 320x240"));
        o->displayGeometry =
            QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
        o->displayPlaced = !m.captured(3).isEmpty();
    }
    o->eventsFile = value("events");
    o->quitOnEof = isSet("quit-on-eof");
    return ParseOutcome::Run;
}
