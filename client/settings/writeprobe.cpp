// SPDX-License-Identifier: GPL-2.0-or-later
#include "writeprobe.h"

#include "platform/platform.h"
#include "settingslog.h"

#include <QFileInfo>

namespace Velmorant {

bool WriteProbe::canWrite(const QString &pPath)
{
    // Opening a FIFO for writing waits for a reader, which would hang the
    // window; a device or a folder is no file to replace either.
    const QFileInfo info(pPath);
    if (info.exists() && !info.isFile()) {
        qCInfo(lcSettings) << pPath << "is not a regular file";
        return false;
    }
    return Platform::canWriteFile(pPath.toStdWString());
}

QString WriteProbe::programDataPath()
{
    const QString path = QString::fromStdWString(Platform::programDataPath());
    if (path.isEmpty())
        qCDebug(lcSettings) << "Failed to get ProgramData path."; // word for word
    return path;
}

} // namespace Velmorant
