// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>

// One H.264 packet from the compressor, as the encoder produced it (Annex B;
// a key frame carries the parameter sets in front of its IDR slice).
struct EncodedPacket {
    qint32 frameNumber = 0; // number of the grabbed image it encodes
    qint32 width = 0;       // encoder size
    qint32 height = 0;
    bool keyFrame = false; // decodable without any earlier packet
    QByteArray data;
    QDateTime captureTime; // when the image was grabbed
};
