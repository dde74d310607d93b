// SPDX-License-Identifier: GPL-2.0-or-later
// The encrypted form of the network configuration ("network"):
//
//   offset 0   16 bytes  initialisation vector
//   offset 16  n * 16    AES-256-CBC of the UTF-8 JSON text + PKCS#7 padding
//
// Stateless functions, callable from any thread.
#pragma once

#include <QByteArray>

#include <string>

namespace Kiv::Network {

constexpr int kNetworkFileIvSize = 16;

// The program's fixed key, 32 ASCII characters used as the key bytes.
std::string networkFileKey();

// Decrypts a whole "network" file. The plaintext length is the decrypted
// length minus the value of the last decrypted byte. A file that cannot be
// decrypted gives an empty result; a cipher failure is written to standard
// error as "Exception caught:" and the cipher's message.
QByteArray decryptNetworkFile(const QByteArray &file, const std::string &key);

// Encrypts with PKCS#7 padding under the given 16-byte vector and returns
// the vector followed by the ciphertext. Empty when key or vector are unusable.
QByteArray encryptNetworkFile(const QByteArray &plainText, const std::string &key, const QByteArray &iv);

// 16 fresh bytes from the operating system's random generator.
QByteArray randomNetworkFileIv();

} // namespace Kiv::Network
