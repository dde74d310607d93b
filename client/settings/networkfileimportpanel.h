// SPDX-License-Identifier: GPL-2.0-or-later
// The network file import controls of the settings window: the import
// button, the outcome messages, and the relaunch buttons offered when the
// file needs administrator rights. The window keeps the click slots; this
// shows the controls' texts and states. GUI thread only.
#pragma once

#include "networkfileimport.h"

#include <QPointer>

class QLabel;
class UiCustomButton;
class UiFreeWindow;

namespace Velmorant {

class NetworkFileImportPanel {
public:
    // Finds the controls by name in the window's last build; missing ones
    // are left alone from then on.
    void bind(const UiFreeWindow &pWindow);

    // The code-window variant: texts set, every message and the relaunch
    // buttons hidden until an import says otherwise.
    void prepare();
    // The session variant offers no import.
    void hide();
    void showResult(NetworkFileImportResult pResult);

private:
    QPointer<QLabel> m_title;
    QPointer<UiCustomButton> m_importButton;
    QPointer<UiCustomButton> m_relaunchButton;
    QPointer<UiCustomButton> m_relaunchTextButton;
    QPointer<QLabel> m_deployedText;
    QPointer<QLabel> m_failedText;
    QPointer<QLabel> m_administratorText;
};

} // namespace Velmorant
