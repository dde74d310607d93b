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

QByteArray buildCodeTestRequest(const QString &code);

// Reads an answer payload; text that is not a JSON object reads as not valid.
CodeTestAnswer parseCodeTestAnswer(const QByteArray &payload);

// Runs one code test, blocking (the body of a short-lived thread): connects
// within 2000 ms, sends the request, reads one answer within 2 s and merges a
// valid one into the finder's list. The finder must outlive the call; it
// waits for the tests it started itself.
void codeTest(ServerFinder *pFinder, QString pCode, QString pHost, quint16 pPort);

} // namespace Kiv::Network
