// SPDX-License-Identifier: GPL-2.0-or-later
#include "networkfilecipher.h"

#include "networklog.h"

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/osrng.h>

#include <iostream>

namespace Kiv::Network {

std::string networkFileKey()
{
    return std::string("Qm7TzR2pWv9KcX4nHs8dLb3YfJ6gNa1E");
}

static const CryptoPP::byte *bytes(const char *data)
{
    return reinterpret_cast<const CryptoPP::byte *>(data);
}

QByteArray decryptNetworkFile(const QByteArray &file, const std::string &key)
{
    if (file.size() < kNetworkFileIvSize) {
        qCWarning(lcNetwork) << "encrypted network configuration too short:" << file.size() << "bytes";
        return {};
    }
    std::string plain;
    try {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption decryption;
        decryption.SetKeyWithIV(bytes(key.data()), key.size(), bytes(file.constData()), kNetworkFileIvSize);
        // The padding is stripped below by the last byte, as files in the
        // field were written; the filter leaves it alone.
        CryptoPP::StringSource source(
            bytes(file.constData() + kNetworkFileIvSize), static_cast<size_t>(file.size() - kNetworkFileIvSize), true,
            new CryptoPP::StreamTransformationFilter(decryption, new CryptoPP::StringSink(plain),
                                                     CryptoPP::BlockPaddingSchemeDef::NO_PADDING));
    } catch (const CryptoPP::Exception &e) {
        std::cerr << "Exception caught:" << std::endl << e.what() << std::endl;
        return {};
    }
    if (plain.empty())
        return {};
    const size_t pad = static_cast<unsigned char>(plain.back());
    if (pad > plain.size()) {
        qCWarning(lcNetwork) << "encrypted network configuration does not decrypt (wrong key or damaged file)";
        return {};
    }
    return QByteArray(plain.data(), static_cast<int>(plain.size() - pad));
}

QByteArray encryptNetworkFile(const QByteArray &plainText, const std::string &key, const QByteArray &iv)
{
    if (iv.size() != kNetworkFileIvSize)
        return {};
    std::string cipher;
    try {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption encryption;
        encryption.SetKeyWithIV(bytes(key.data()), key.size(), bytes(iv.constData()), kNetworkFileIvSize);
        CryptoPP::StringSource source(
            bytes(plainText.constData()), static_cast<size_t>(plainText.size()), true,
            new CryptoPP::StreamTransformationFilter(encryption, new CryptoPP::StringSink(cipher),
                                                     CryptoPP::BlockPaddingSchemeDef::PKCS_PADDING));
    } catch (const CryptoPP::Exception &e) {
        std::cerr << "Exception caught:" << std::endl << e.what() << std::endl;
        return {};
    }
    return iv + QByteArray(cipher.data(), static_cast<int>(cipher.size()));
}

QByteArray randomNetworkFileIv()
{
    QByteArray iv(kNetworkFileIvSize, '\0');
    CryptoPP::OS_GenerateRandomBlock(false, reinterpret_cast<CryptoPP::byte *>(iv.data()), iv.size());
    return iv;
}

} // namespace Kiv::Network
