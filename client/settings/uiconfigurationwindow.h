// SPDX-License-Identifier: GPL-2.0-or-later
// The settings window: edits the six personal settings, saves them to
// config.json when closed with its close button, and, in the code-window
// variant, installs a network configuration file for all users (relaunching
// the client with administrator rights when that needs them).
// One instance per process, owned by the code window. GUI thread only.
#pragma once

#include "languagechoice.h"
#include "networkfileimportpanel.h"
#include "savedsettings.h"
#include "uifreewindow.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class UiCustomButton;

namespace Velmorant {

class UiConfigurationWindow : public UiFreeWindow {
    Q_OBJECT
public:
    enum Mode { CodeWindowMode = 1, AdvancedWindowMode = 2 };

    explicit UiConfigurationWindow(QWidget *parent = nullptr);
    ~UiConfigurationWindow() override;

    // 2 builds the session variant, anything else the code-window variant.
    // Always rebuilds, which reads the settings again.
    void setMode(int pMode);
    int mode() const { return m_mode; }

    void readConfiguration();
    void writeConfiguration();
    // "Screen 1", "Screen 2", ... for the screens in Qt's order.
    void fillScreenList();

    int screenId() const;
    QString userName() const;
    QString capturePath() const;
    QString language() const;
    bool isOnTop() const { return m_saved.values().configIsOnTop; }
    bool remoteControlAllowed() const { return m_saved.values().configRemoteControl; }

    void setScreenId(int pScreenId);
    void setUserName(const QString &pUserName);
    void setCapturePath(const QString &pCapturePath);
    void setOnTop(bool pOnTop);
    void setRemoteControlAllowed(bool pAllowed);
    // Selects the entry only; the stored language text stays.
    void setLanguage(const QString &pLanguage);

    void applyOnTop();

    static QString programDataPath();
    // Creates an empty file when none exists.
    static bool canWriteFile(const QString &pPath);

    // What the elevated copy is started with: our arguments without the
    // program itself, plus the relaunch marker (once).
    static std::vector<std::wstring> relaunchArguments(const QStringList &pArguments);

    static const char kSwitchOnImage[];
    static const char kSwitchOffImage[];

signals:
    void closed();
    void configurationUpdated();
    void userNameChanged(QString pUserName);
    void remoteControlAuthorizationChanged(bool pConfigRemoteControl);

protected slots:
    void stlButtonCloseClicked();
    void stlButtonNetworkFileImportClicked();
    void stlButtonNetworkFileImportAdminClicked();
    void stlButtonCaptureDestinationClicked();
    void stlButtonWidgetOnTopClicked();
    void stlButtonRemoteControlClicked();
    void stlSelectLanguageIndexChanged(int pIndex);
    void onConfigurationWindowsClosed();

protected:
    void onWindowBuilt() override;

    // The system dialogs; an empty text means the user cancelled.
    virtual QString chooseCaptureDirectory();
    virtual QString chooseNetworkFile();
    // Where an imported network file goes, in order of preference: the
    // program's folder, then the machine-wide data folder.
    virtual QStringList networkFileTargets() const;

private:
    template <class T> T *widget(const char *pName) const { return findWidget<T>(std::string(pName)); }
    void showSwitch(UiCustomButton *pSwitch, bool pOn);

    int m_mode = CodeWindowMode;
    bool m_modeChosen = false; // the build during construction shows neither variant

    // Found by name after every build; null when the description lacks them.
    QPointer<QComboBox> m_selectScreen;
    QPointer<QLineEdit> m_userName;
    QPointer<QLineEdit> m_captureDestination;
    QPointer<UiCustomButton> m_widgetOnTopButton;
    QPointer<UiCustomButton> m_remoteControlButton;
    QPointer<QComboBox> m_selectLanguage;
    QPointer<QLabel> m_languageChangeWarningText;

    NetworkFileImportPanel m_importPanel;
    LanguageChoice m_languageChoice;
    // The settings as loaded or last saved; the controls hold the edits.
    SavedSettings m_saved;

    // The switches' positions; they become the stored flags on closing.
    bool m_onTopSwitch = false;
    bool m_remoteControlSwitch = false;
};

} // namespace Velmorant
