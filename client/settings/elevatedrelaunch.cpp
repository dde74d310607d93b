// SPDX-License-Identifier: GPL-2.0-or-later
#include "elevatedrelaunch.h"

#include "constants.h"
#include "settingslog.h"

#include <QCoreApplication>

namespace Velmorant {

ElevatedRelaunch::ElevatedRelaunch(QString pProgram, QStringList pArguments)
    : m_program(std::move(pProgram)), m_arguments(std::move(pArguments))
{
}

ElevatedRelaunch ElevatedRelaunch::ofThisProcess()
{
    return ElevatedRelaunch(QCoreApplication::applicationFilePath(), QCoreApplication::arguments());
}

std::vector<std::wstring> ElevatedRelaunch::arguments(const QStringList &pArguments)
{
    std::vector<std::wstring> arguments;
    const QString marker = QLatin1String(kElevatedRelaunchMarker);
    for (int i = 1; i < pArguments.size(); ++i) {
        if (pArguments.at(i) != marker)
            arguments.push_back(pArguments.at(i).toStdWString());
    }
    arguments.push_back(marker.toStdWString());
    return arguments;
}

Platform::ElevationResult ElevatedRelaunch::start() const
{
    const Platform::ElevationResult result =
        Platform::relaunchElevated(m_program.toStdWString(), arguments(m_arguments));
    if (result == Platform::ElevationResult::Started)
        qCInfo(lcSettings) << "relaunched with administrator rights; leaving";
    return result;
}

} // namespace Velmorant
