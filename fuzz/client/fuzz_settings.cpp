// SPDX-License-Identifier: GPL-2.0-or-later
// The per-user config.json: the full read's parser and the start-up's
// language read of the same file; what parses must write back and read the
// same.
#include <app/language.h>
#include <app/settingsstore.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace Velmorant;

namespace {
std::unique_ptr<QTemporaryDir> g_dir;
QString g_file;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = std::make_unique<QTemporaryDir>();
    g_file = g_dir->filePath(QStringLiteral("config.json"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const ClientSettings settings = settingsFromJson(bytes);
    isFrenchLanguage(settings.language);
    if (settingsFromJson(settingsToJson(settings)) != settings)
        std::abort();

    // The start-up reads the file before anything else, with its own parser.
    QFile file(g_file);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
    file.close();
    const QString language = readStartupLanguage(g_file);
    isFrenchLanguage(language);
    if (bytes.isEmpty() && !language.isEmpty())
        std::abort();
    return 0;
}
