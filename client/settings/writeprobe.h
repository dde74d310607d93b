// SPDX-License-Identifier: GPL-2.0-or-later
// Whether this user may write a file, asked by trying: the system's answer
// (permissions, read-only mounts, access control lists) is the one that
// counts. The probe creates an empty file where none exists; anything but a
// regular file (a folder, a FIFO, a device) is refused without opening it.
#pragma once

#include <QString>

namespace Velmorant {

class WriteProbe {
public:
    static bool canWrite(const QString &pPath);

    // The machine-wide data folder, or empty (logged) when there is none.
    static QString programDataPath();
};

} // namespace Velmorant
