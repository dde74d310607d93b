// SPDX-License-Identifier: GPL-2.0-or-later
// velmorant-netconf encrypt IN.json OUT   writes the encrypted "network" file
// velmorant-netconf decrypt IN            prints the JSON of a "network" file
//
// The file is a fresh random 16-byte vector followed by AES-256-CBC with
// PKCS#7 padding under the client's key, the same as
//   openssl enc -aes-256-cbc -K <hex key> -iv <hex vector>
#include <network/networkfilecipher.h>

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <cstdio>
#include <cstring>

using namespace Kiv::Network;

static int usage()
{
    std::fprintf(stderr, "usage: velmorant-netconf encrypt IN.json OUT\n"
                         "       velmorant-netconf decrypt IN\n");
    return 2;
}

static bool readFile(const char *path, QByteArray *content)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "velmorant-netconf: cannot read %s: %s\n", path, qPrintable(file.errorString()));
        return false;
    }
    *content = file.readAll();
    return true;
}

static int encrypt(const char *in, const char *out)
{
    QByteArray json;
    if (!readFile(in, &json))
        return 1;
    QJsonParseError error{};
    if (!QJsonDocument::fromJson(json, &error).isObject()) {
        std::fprintf(stderr, "velmorant-netconf: %s is not a JSON object (%s)\n", in,
                     qPrintable(error.error == QJsonParseError::NoError ? QStringLiteral("not an object")
                                                                        : error.errorString()));
        return 1;
    }
    const QByteArray file = encryptNetworkFile(json, networkFileKey(), randomNetworkFileIv());
    if (file.isEmpty())
        return 1;
    QSaveFile output(QFile::decodeName(out));
    if (!output.open(QIODevice::WriteOnly) || output.write(file) != file.size() || !output.commit()) {
        std::fprintf(stderr, "velmorant-netconf: cannot write %s: %s\n", out, qPrintable(output.errorString()));
        return 1;
    }
    return 0;
}

// Stricter than the client's reader, which strips by the last byte alone: an
// administrator wants to know when a file is damaged or made with another
// key. Encrypting the result again under the file's vector must give the
// file back, padding included.
static bool exactRoundTrip(const QByteArray &file, const QByteArray &plain)
{
    return file.size() > kNetworkFileIvSize &&
           encryptNetworkFile(plain, networkFileKey(), file.left(kNetworkFileIvSize)) == file;
}

static int decrypt(const char *in)
{
    QByteArray file;
    if (!readFile(in, &file))
        return 1;
    const QByteArray plain = decryptNetworkFile(file, networkFileKey());
    if (!exactRoundTrip(file, plain) || !QJsonDocument::fromJson(plain).isObject()) {
        std::fprintf(stderr, "velmorant-netconf: %s does not decrypt to a JSON object (wrong key or damaged)\n", in);
        return 1;
    }
    std::fwrite(plain.constData(), 1, static_cast<size_t>(plain.size()), stdout);
    if (!plain.endsWith('\n'))
        std::fputc('\n', stdout);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "encrypt") == 0)
        return encrypt(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "decrypt") == 0)
        return decrypt(argv[2]);
    return usage();
}
