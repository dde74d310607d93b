// SPDX-License-Identifier: GPL-2.0-or-later
// The personal settings as loaded from config.json or last saved, against
// which the settings window's edits are compared when it closes.
// GUI thread only.
#pragma once

#include "settingsstore.h"

#include <QString>

namespace Velmorant {

// What taking a set of edits changed.
struct SettingsChange {
    bool any = false; // the file must be written
    bool userName = false;
    bool remoteControl = false;
};

class SavedSettings {
public:
    // An empty path stands for the user's config.json, looked up at each use.
    explicit SavedSettings(QString pFilePath = QString());

    // Reads the file. When it cannot be opened the store derives and writes
    // the defaults: they become the values, and this answers false.
    bool load();
    // Writes the values; a failure is logged and answered false.
    bool save() const;

    const ClientSettings &values() const { return m_values; }
    ClientSettings &values() { return m_values; }

    // Makes pEdited the values and tells what differed from them before.
    SettingsChange take(const ClientSettings &pEdited);

private:
    SettingsStore store() const;

    QString m_filePath;
    ClientSettings m_values;
};

} // namespace Velmorant
