// SPDX-License-Identifier: GPL-2.0-or-later
// The code test: asks one server over TCP whether it hosts a room code.
//
// Request: one frame, indented JSON
//   { "connection_type": "CODE_TEST", "client_type": "CLIENT", "code_to_test": code }
// Answer: one frame, JSON
//   { "is_valid": bool, "id": s, "name": s, "type": n, "users_count": n, "max_users_count": n }
// Keep-alive frames before the answer are skipped and do not extend the
// 2-second answer limit.
#pragma once

#include "framereader.h"

#include <QByteArray>
#include <QString>

namespace Kiv::Network {

class ServerFinder;

struct CodeTestAnswer {
    bool valid = false;
    QString id;
    QString name;
    int type = 0;
    int usersCount = 0;
    int maxUsersCount = 0;
};

// Longest answer read; real answers are about 100 bytes. Larger ones are
// refused before parsing (a JSON parser's cost grows with what it is fed,
// and Qt's parser leaks on some inputs).
constexpr qint32 kMaxCodeTestAnswerSize = 64 * 1024;

QByteArray buildCodeTestRequest(const QString &code);

// Reads an answer payload; text that is not a JSON object, or an object
// with a repeated key, reads as not valid.
CodeTestAnswer parseCodeTestAnswer(const QByteArray &payload);

// The answer's bytes as they arrive, with no device of its own: keep-alives
// are skipped, one frame is read, a frame over the limit is refused from
// its header. The code test feeds it at most wanted() bytes at a time.
class CodeTestAnswerReader {
public:
    enum class Status { Reading, Answered, Refused };

    int wanted() const { return m_decoder.wanted(); }
    Status push(const char *data, int size);
    // Valid after Answered.
    const CodeTestAnswer &answer() const { return m_answer; }
    // The announced size after Refused.
    qint32 refusedSize() const { return m_decoder.length(); }

private:
    FrameDecoder m_decoder{kMaxCodeTestAnswerSize};
    CodeTestAnswer m_answer;
};

// Runs one code test, blocking (the body of a short-lived thread): connects
// within 2000 ms, sends the request, reads one answer within 2 s and merges a
// valid one into the finder's list. The finder must outlive the call; it
// waits for the tests it started itself.
void codeTest(ServerFinder *pFinder, QString pCode, QString pHost, quint16 pPort);

} // namespace Kiv::Network
