// SPDX-License-Identifier: GPL-2.0-or-later
#include "writeprobe.h"

#include "platform/platform.h"
#include "settingslog.h"

namespace Velmorant {

bool WriteProbe::canWrite(const QString &pPath)
{
    return Platform::canWriteFile(pPath.toStdWString());
}

QString WriteProbe::programDataPath()
{
    const QString path = QString::fromStdWString(Platform::programDataPath());
    if (path.isEmpty())
        qCDebug(lcSettings) << "Failed to get ProgramData path.";
    return path;
}

} // namespace Velmorant
