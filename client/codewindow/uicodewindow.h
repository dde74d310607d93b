// SPDX-License-Identifier: GPL-2.0-or-later
// The first window: splash, room code entry, room status of the first found
// server, update views, the way into a session and into the settings.
// The search and update rules live in CodeStateMachine; this window binds
// the widgets and shows its state. GUI thread only, except the finder's
// callback (on finder threads; it only emits a queued signal).
#pragma once

#include "codestatemachine.h"
#include "network/serverfinder.h"
#include "uifreewindow.h"
#include "update/threaddownloadupdate.h"
#include "update/updatechecker.h"

#include <QTimer>

#include <memory>

class QGraphicsOpacityEffect;
class UiCodeTextbox;

namespace Velmorant {
class SingleInstanceServer;
class UiConfigurationWindow;
} // namespace Velmorant
namespace Velmorant::Advanced {
class UiMainWindowAdvanced;
}

class UiCodeWindow : public UiFreeWindow {
    Q_OBJECT
public:
    using State = CodeStateMachine::State;
    static constexpr State Idle = CodeStateMachine::Idle;
    static constexpr State Searching = CodeStateMachine::Searching;
    static constexpr State Found = CodeStateMachine::Found;
    static constexpr State NoneFound = CodeStateMachine::NoneFound;

    // pDiscoveryPort: where the finder sends discovery requests.
    explicit UiCodeWindow(QWidget *parent = nullptr,
                          quint16 pDiscoveryPort = Kiv::Network::ServerFinder::kDiscoveryPort);
    ~UiCodeWindow() override;

    int state() const { return m_machine.state(); }
    const Velmorant::UpdateChecker &updateChecker() const { return m_updateChecker; }
    Kiv::Network::ServerFinder &serverFinder() { return *m_serverFinder; }
    CodeStateMachine &stateMachine() { return m_machine; }
    Velmorant::UiConfigurationWindow *settingsWindow() const { return m_settingsWindow; }
    // Null until the first join.
    Velmorant::Advanced::UiMainWindowAdvanced *sessionWindow() const { return m_sessionWindow.get(); }

    void childKeyPressEvent(QKeyEvent *pEvent) override;

signals:
    void internSigServersListChanged();

public slots:
    void sltAfterSplashScreen();
    void sltChangeSplashScreenOpacity();
    void stlButtonConnectClicked();
    void stlButtonCloseClicked();
    void sltCodeChanged(QString pCode);
    void sltButtonNetworkConfigurationClicked();
    void sltButtonUpdateClicked();
    void sltDoUpdateValid();
    void sltDoUpdateCancel();
    void sltDownloadUpdateEnded(QString pUpdatePath);

protected:
    QWidget *createCustomWidget(const WidgetDescription &pDescription, QWidget *pParent) override;
    void onWindowBuilt() override;
    void timerEvent(QTimerEvent *pEvent) override;
    void closeEvent(QCloseEvent *pEvent) override;

private:
    // Shows the machine's state; logs a line whenever the status changes.
    void onStateChanged();
    void applyStatus();
    void logStatusChange();
    void showWidget(const char *pName, bool pVisible);
    void setLabelText(const char *pName, const QString &pText);
    void focusWidget(const char *pName);
    void readVersionOverrides(QString &pVersion, QString &pProtocolVersion) const;

    QTimer m_splashTimer;
    QTimer *m_fadeTimer = nullptr;
    QGraphicsOpacityEffect *m_opacityEffect = nullptr;
    int m_fadeStep = 0;

    // Stopped first: its threads call back into this window.
    std::unique_ptr<Kiv::Network::ServerFinder> m_serverFinder;
    Velmorant::UpdateChecker m_updateChecker;
    // Owns the update thread, which uses the checker.
    CodeStateMachine m_machine;
    Velmorant::ThreadDownloadUpdate m_downloadThread;
    Velmorant::UiConfigurationWindow *m_settingsWindow = nullptr;
    std::unique_ptr<Velmorant::SingleInstanceServer> m_instanceServer;
    // Created at the first join, reused for every later one.
    std::unique_ptr<Velmorant::Advanced::UiMainWindowAdvanced> m_sessionWindow;

    UiCodeTextbox *m_textbox = nullptr;
    QString m_loggedStatus;
};
