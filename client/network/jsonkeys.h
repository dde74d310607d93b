// SPDX-License-Identifier: GPL-2.0-or-later
// A guard for JSON text from the network before Qt's parser sees it: Qt 5
// leaks when a key repeats with an object or array as its first value, and
// honest peers never repeat keys. Any thread.
#pragma once

#include <QByteArray>

namespace Kiv::Network {

// False when the text does not parse or an object in it repeats a key.
bool hasUniqueKeys(const QByteArray &pJson);

} // namespace Kiv::Network
