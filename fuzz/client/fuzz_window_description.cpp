// SPDX-License-Identifier: GPL-2.0-or-later
// A deployed Resources/windows.json: parsed, every window's widgets read
// with styles applied, as a build does.
#include <windowdescriptionfile.h>

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reader warns about malformed values; keep the output to findings.
    qputenv("QT_LOGGING_RULES", "*=false");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    WindowDescriptionFile file;
    file.loadFromData(QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
    for (const QString &name : file.windowNames()) {
        const WindowDescription window = file.windowDescription(name);
        (void)window;
    }
    file.windowDescription(QStringLiteral("UiCodeWindow"));
    return 0;
}
