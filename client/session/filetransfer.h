// SPDX-License-Identifier: GPL-2.0-or-later
// One file sent to the room on a connection of its own: the greeting with the
// transfer id, the room's go-ahead, a header with the size, the bytes in
// data frames of at most kChunkSize, and the room's final answer.
// sendFile blocks; it runs on a worker thread and touches nothing else. A
// stop flag, when given, ends it within about 100 ms (a connection attempt
// under way may take its own second).
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>

namespace Velmorant::Advanced {

struct FileTransferLimits {
    int connectAttempts = 3;
    int connectTimeoutMs = 1000;
    int greetingAnswerTimeoutMs = 30000;
    // The room's final answer, and any stall of our own writes.
    int finalAnswerTimeoutMs = 30000;
    // Written but unsent bytes held before the next frame waits for the peer.
    qint64 maxBacklog = 1024 * 1024;
};

enum class FileTransferOutcome {
    Sent,         // the room answered after the last byte
    NoConnection, // no connection took the greeting
    TooLarge,     // the header cannot describe the size
    FileShort,    // the file gave fewer bytes than announced (gone, shrunk)
    Lost,         // the connection ended before the final answer
    NoAnswer,     // no final answer in time
    Stopped,      // the owner asked it to end
};

const char *outcomeName(FileTransferOutcome pOutcome);

namespace FileTransferFrames {
constexpr int kChunkSize = 50000;
// Sizes the header's signed 32-bit field can carry.
constexpr qint64 kMaxFileSize = 0x7FFFFFFF;

QByteArray greeting(int pTransferId);
QByteArray header(qint64 pSize);
QByteArray data(const QByteArray &pChunk);
} // namespace FileTransferFrames

FileTransferOutcome sendFile(const QString &pAddress, quint16 pPort, int pTransferId, const QString &pPath,
                             const FileTransferLimits &pLimits = {}, const std::atomic<bool> *pStop = nullptr);

} // namespace Velmorant::Advanced
