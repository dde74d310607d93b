// SPDX-License-Identifier: GPL-2.0-or-later
#include "jsonkeys.h"

#include <json/json.h>

#include <memory>

namespace Kiv::Network {

bool hasUniqueKeys(const QByteArray &pJson)
{
    // A reader keeps parse state: one per call, as callers run on many threads.
    static const Json::CharReaderBuilder builder = [] {
        Json::CharReaderBuilder b;
        b["rejectDupKeys"] = true;
        return b;
    }();
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    return reader->parse(pJson.constData(), pJson.constData() + pJson.size(), &root, nullptr);
}

} // namespace Kiv::Network
