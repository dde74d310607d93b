// SPDX-License-Identifier: GPL-2.0-or-later
// Starting this program again with administrator rights, for a step the
// present user may not take. The new instance knows it was relaunched by a
// marker argument. GUI thread only.
#pragma once

#include "platform/platform.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace Velmorant {

class ElevatedRelaunch {
public:
    // pArguments as QCoreApplication::arguments() gives them, program first.
    ElevatedRelaunch(QString pProgram, QStringList pArguments);
    // This process's program and arguments.
    static ElevatedRelaunch ofThisProcess();

    // What the elevated copy is started with: the arguments without the
    // program itself, plus the relaunch marker (once).
    static std::vector<std::wstring> arguments(const QStringList &pArguments);

    // Asks the system to start the copy; Started means the caller should leave.
    Platform::ElevationResult start() const;

private:
    QString m_program;
    QStringList m_arguments;
};

} // namespace Velmorant
