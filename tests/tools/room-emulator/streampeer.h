// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Test helpers for the stream side: H.264 made by FFmpeg's own encoder and a
// raw-socket sender's handshake and descriptors.

#include "framepeer.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstring>

inline QByteArray handshake(quint32 id)
{
    return QStringLiteral("{ \"connection_type\" : \"STREAM_VIDEO\", \"ID\" : %1}").arg(id).toUtf8();
}

inline QByteArray f32(float v)
{
    quint32 bits = 0;
    std::memcpy(&bits, &v, 4);
    return le32(bits);
}

// Encodes a lavfi source with libx264 and splits the Annex B stream into
// access units at its access unit delimiters.
inline QList<QByteArray> encode(const QString &source, int frames, QString *error, bool zeroLatency = true)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        *error = QStringLiteral("ffmpeg not installed; it is a test dependency (scripts/install-deps.sh)");
        return {};
    }
    const QString out = QDir::temp().filePath(QStringLiteral("stream-%1-%2.h264").arg(qHash(source)).arg(zeroLatency));
    QStringList args{"-nostdin",  "-loglevel",
                     "error",     "-y",
                     "-f",        "lavfi",
                     "-i",        source,
                     "-frames:v", QString::number(frames),
                     "-c:v",      "libx264",
                     "-threads",  "1",
                     "-pix_fmt",  "yuv420p",
                     "-bsf:v",    "h264_metadata=aud=insert",
                     "-f",        "h264",
                     out};
    if (zeroLatency)
        args = args.mid(0, 12) + QStringList{"-tune", "zerolatency"} + args.mid(12);
    QProcess p;
    p.start(ffmpeg, args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        *error = QStringLiteral("ffmpeg failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    QFile f(out);
    f.open(QIODevice::ReadOnly);
    const QByteArray data = f.readAll();
    QList<int> starts;
    for (int i = 0; i + 3 < data.size(); ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if ((data[i + 3] & 0x1f) == 9)
                starts.append(i > 0 && data[i - 1] == 0 ? i - 1 : i);
            i += 2;
        }
    }
    QList<QByteArray> units;
    for (int k = 0; k < starts.size(); ++k)
        units.append(data.mid(starts[k], (k + 1 < starts.size() ? starts[k + 1] : data.size()) - starts[k]));
    return units;
}

// Opens one stream connection: handshake, its answer, then the descriptors.
inline bool openStream(FramePeer &peer, quint16 port, quint32 id, bool video)
{
    if (!peer.connectTo(port))
        return false;
    peer.send(handshake(id));
    if (peer.readFrame().isEmpty())
        return false;
    peer.send(commandOf("ID", le32(id)));
    if (video) {
        peer.send(commandOf("STREAMTYPE", "VIDEO"));
        peer.send(commandOf("CODEC", QByteArray(1, '\1')));
    } else {
        peer.send(commandOf("STREAMTYPE", "CONTROLS"));
        peer.send(commandOf("TOUCH", QByteArray(1, '\0')));
        peer.send(commandOf("TRACKPAD", QByteArray(1, '\1')));
    }
    return true;
}
