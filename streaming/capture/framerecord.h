// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>

// One grabbed image on its way from the grabber to the compressor. Copies are
// cheap: data is a shared, copy-on-write buffer.
//
// The pixels are YUV 4:2:0 (BT.601, limited range), converted in one pass from
// the capture's own pixels, in three tightly packed planes:
//
//   +--------------------+  Y: width x height bytes, bytesPerLine = width
//   |         Y          |
//   +----------+---------+  U: width/2 x height/2 bytes
//   |    U     |            V: width/2 x height/2 bytes
//   +----------+
//   |    V     |
//   +----------+
struct FrameRecord {
    qint32 frameNumber = 0; // grabber's sequence number, 0 for the first image
    float scaleX = 1.0f;    // physical pixels per logical pixel
    float scaleY = 1.0f;
    qint32 width = 0;        // multiple of 4
    qint32 height = 0;       // multiple of 4
    qint32 bytesPerLine = 0; // of the Y plane: width
    QByteArray data;         // the three planes, Y then U then V
    QDateTime captureTime;   // local time the image was completed
    bool changed = true;     // differs from the image grabbed before it
    quint64 request = 0;     // the grab request this image answers

    static qint64 planesSize(int pWidth, int pHeight) { return qint64(pWidth) * pHeight * 3 / 2; }
    const uchar *y() const { return reinterpret_cast<const uchar *>(data.constData()); }
    const uchar *u() const { return y() + qint64(width) * height; }
    const uchar *v() const { return u() + qint64(width / 2) * (height / 2); }
};
