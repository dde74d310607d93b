// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>

// One image (grabber -> compressor) or one encoded packet (compressor ->
// stream clients). Copies are cheap: data is a shared, copy-on-write buffer.
struct FrameRecord {
    qint32 frameNumber = 0; // grabber's sequence number, 0 for the first image
    float scaleX = 1.0f;    // physical pixels per logical pixel
    float scaleY = 1.0f;
    qint32 width = 0;        // multiple of 4
    qint32 height = 0;       // multiple of 4
    qint32 bytesPerLine = 0; // width * 3
    QByteArray data;         // images: rows top to bottom, B G R per pixel, no padding
    QDateTime captureTime;   // local time the image was completed
};
