// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "room.h"

#include <QHostAddress>
#include <QList>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>

// Everything the command line configures; read-only once the emulator runs,
// except what control commands change on purpose (rooms, discovery switch).
struct EmulatorOptions {
    QHostAddress bind = QHostAddress(QHostAddress::LocalHost);
    int udpPort = 48504;
    bool udpShare = false;
    QHostAddress multicastGroup;
    bool discovery = true;
    int tcpPort = 18413;
    int announcePort = -1;
    int streamPort = 0;
    QString streamIp = QStringLiteral("127.0.0.1");
    QList<Room> rooms;

    int updateAnswer = 0; // -1: never answer
    QString installer;
    int chunkSize = 50000;

    QString saveDir;
    bool noHash = false;
    // "none": key left out; otherwise the JSON value in settingsVersionValue.
    bool settingsVersionPresent = true;
    bool settingsVersionIsNumber = false;
    QString settingsVersionValue = QStringLiteral("1");
    QString deviceName = QStringLiteral("Room emulator");
    bool allowCapture = true;
    bool allowFullscreen = true;
    QStringList allowedExtensions;
    int keepAliveMs = 2000;
    int clientTimeoutMs = 20000;
    QString captureImage;
    QString captureAnswer = QStringLiteral("image");
    int firstTransferId = 1;
    int firstStreamId = 1;

    bool returnData = false;
    QString dumpDir;
    int dumpEvery = 1;
    QList<QRect> lumaBlocks;
    // Index in lumaBlocks where the --luma-grid blocks begin; -1 without a grid.
    int lumaGridStart = -1;

    // Client requests left unanswered (FileRequest, StreamRequest, ...).
    QSet<QString> noAnswer;
    QSet<QString> faults;
    int slowRate = 262144;

    QString eventsFile;
    bool quitOnEof = false;
    // The room display window; off, nothing of it is built or paid for.
    bool display = false;
    QRect displayGeometry{0, 0, 1280, 720};
    // Without +X+Y the window manager places the window.
    bool displayPlaced = false;
    int maxConnections = 64;

    bool hasFault(const char *name) const { return faults.contains(QLatin1String(name)); }
    bool answers(const QString &request) const { return !noAnswer.contains(request); }
};

enum class ParseOutcome { Run, ExitOk, ExitError };

// Parses argv; prints help, version or the error itself.
ParseOutcome parseOptions(const QStringList &arguments, EmulatorOptions *options);

// The full --help text: options, control commands and events.
QString helpText();
