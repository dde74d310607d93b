// SPDX-License-Identifier: GPL-2.0-or-later
#include "savedsettings.h"

#include "settingslog.h"

#include <QFile>

namespace Velmorant {

SavedSettings::SavedSettings(QString pFilePath) : m_filePath(std::move(pFilePath)) {}

SettingsStore SavedSettings::store() const
{
    return m_filePath.isEmpty() ? SettingsStore() : SettingsStore(m_filePath);
}

bool SavedSettings::load()
{
    const SettingsStore settingsStore = store();
    // Asked before the read, which writes the defaults when there is no file.
    const bool fromFile = QFile(settingsStore.filePath()).open(QIODevice::ReadOnly);
    m_values = settingsStore.read();
    return fromFile;
}

bool SavedSettings::save() const
{
    const SettingsStore settingsStore = store();
    if (settingsStore.write(m_values))
        return true;
    qCWarning(lcSettings) << "cannot write" << settingsStore.filePath() << "; the settings stay as they were";
    return false;
}

SettingsChange SavedSettings::take(const ClientSettings &pEdited)
{
    SettingsChange change;
    change.userName = pEdited.userName != m_values.userName;
    change.remoteControl = pEdited.configRemoteControl != m_values.configRemoteControl;
    change.any = pEdited != m_values;
    m_values = pEdited;
    return change;
}

} // namespace Velmorant
