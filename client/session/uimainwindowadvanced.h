// SPDX-License-Identifier: GPL-2.0-or-later
// The session window: shown while the client is joined to a room. It owns
// the session connection and its dialogue, the streaming library and the
// stream buttons, and the buttons that send to the room.
// One per program run, created by the code window at the first join and
// reused for every later one. GUI thread only, except the four socket
// callbacks (session socket thread), which only hand over to the GUI thread.
#pragma once

#include "network/serverinfo.h"
#include "network/tcpsocket.h"
#include "sessionmessage.h"
#include "streamcontrol.h"
#include "transferqueues.h"
#include "transferworkers.h"
#include "uifreewindow.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>

#include <memory>

namespace Velmorant {
class UiConfigurationWindow;
}

namespace Velmorant::Advanced {

class StreamLibrary;
class UiNoteWindowAdvanced;
class UiWebWindowAdvanced;

class UiMainWindowAdvanced : public UiFreeWindow {
    Q_OBJECT
public:
    // pLibrary: the streaming library to drive; null creates the real one.
    explicit UiMainWindowAdvanced(QWidget *parent = nullptr, std::unique_ptr<StreamLibrary> pLibrary = nullptr);
    ~UiMainWindowAdvanced() override;

    void setSettingsWindow(Velmorant::UiConfigurationWindow *pSettingsWindow);
    void cacheSettings();
    void startSession(const Kiv::Network::ServerInfo &pServerInfo);
    // The window shown again when a session ends.
    void setCodeWindow(QWidget *pCodeWindow);

    // The stream state, for tests and the log.
    const StreamControl &streamControl() const { return m_stream; }
    UiNoteWindowAdvanced *noteWindow() const { return m_noteWindow; }
    UiWebWindowAdvanced *webWindow() const { return m_webWindow; }
    bool fullscreenFeature() const { return m_fullscreenFeature; }

signals:
    void sigFileRequestAccepted(int pTransferId);

protected slots:
    // The connection is made (logged only).
    void stlConnectionReady();
    void stlConnectionStopped();
    void stlButtonCloseClicked();
    void stlButtonMinimizeClicked();
    void stlButtonConfigurationClicked();
    void stlButtonDisconnectClicked();

    void stlButtonFluxClicked();
    void stlButtonFluxPauseClicked();
    void stlButtonFluxFullScreenMaximizeClicked();
    void stlButtonFluxFullScreenMinimizeClicked();
    void sltUpdateFluxButtonState();

    void stlButtonUploadClicked();
    void stlButtonUploadExplorerClicked();
    void stlButtonUploadNoteClicked();
    void stlButtonUploadWebClicked();
    void sltFileRequestAccepted(int pTransferId);
    void onTransferDone(Velmorant::Advanced::SendFileType pSendFileType);
    void onNoteWindowsClosed();
    void onWebWindowsClosed();

    void stlButtonCaptureClicked();
    void stlButtonUploadCaptureClicked();
    void sltCaptureDone(QVariant pImageData);
    void sltCaptureDoneThread(QVariant pImageData, QString pImagePath);
    void sltCaptureRefused();
    void sltCaptureGenericError();
    void sltDoGrabCapture();
    void sltDoUploadCapture(QString pCaptureFilePath);

    void sltSettingsReceived(QJsonObject pJsonConfig);
    void onConfigurationUpdated();
    void sendNewName(QString pNewName);
    void sendRemoteControlSlot(bool pConfigRemoteControl);

protected:
    void timerEvent(QTimerEvent *pEvent) override;
    void dragEnterEvent(QDragEnterEvent *pEvent) override;
    void dropEvent(QDropEvent *pEvent) override;
    void onWindowBuilt() override;

    // The system dialogs; an empty answer means the user cancelled.
    virtual QStringList chooseFilesToSend(const QString &pStartFolder, const QString &pFilter);
    virtual QString chooseCaptureSavePath(const QString &pProposedPath);
    // A message box that does not hold up the GUI thread.
    virtual void showMessageBox(const QString &pTitle, const QString &pText);
    // The local time that names captures and link files.
    virtual QDateTime now() const;

    // An internet shortcut for a dropped web link, in the temporary folder.
    QString createWebLinkFile(const QString &pUrl);
    const TransferQueues &transferQueues() const { return m_transfers; }
    QString temporaryFolderPath() const { return m_temporaryFolder.path(); }

private:
    // Socket thread.
    void onSocketConnected(Kiv::Network::TcpSocket *pTcpSocket);
    void onSocketConnectionFailed(Kiv::Network::TcpSocket *pTcpSocket);
    void onSocketMessageReceived(Kiv::Network::TcpSocket *pTcpSocket, QByteArray pMessage);
    void onSocketConnectionStopped(Kiv::Network::TcpSocket *pTcpSocket);

    void dispatchMessage(const QByteArray &pPayload);
    void sendIdentity();
    void send(const QByteArray &pPayload);
    void showWidget(const char *pName, bool pVisible);
    void applyStreamLook(const StreamButtonsLook &pLook);
    int screenCount() const;
    void startTransferWorker(int pTransferId, const QString &pPath, SendFileType pType);
    void finishTransfer(SendFileType pType, int pGeneration);
    bool captureAllowed() const;

    Kiv::Network::TcpSocket m_socket;
    std::unique_ptr<StreamLibrary> m_library;
    StreamControl m_stream;

    // Children of this window; hidden between uses.
    UiNoteWindowAdvanced *m_noteWindow = nullptr;
    UiWebWindowAdvanced *m_webWindow = nullptr;

    QPointer<QWidget> m_codeWindow;
    QPointer<Velmorant::UiConfigurationWindow> m_settingsWindow;
    Kiv::Network::ServerInfo m_serverInfo;

    // The settings as last saved.
    int m_screenIndex = 0;
    QString m_userName;
    QString m_capturePath;
    bool m_onTop = false;
    bool m_remoteControl = false;
    QString m_language;

    QString m_loggedLook;

    bool m_fullscreenFeature = false;
    bool m_uploadMenuOpen = false;
    QStringList m_allowedExtensions;
    QString m_lastCaptureFolder;
    QTemporaryDir m_temporaryFolder;

    TransferQueues m_transfers;
    // From the capture button to the grab: the window is out of the picture.
    QTimer m_captureDelay{this};
    // Ends of transfers from an earlier session are not this session's.
    int m_sessionGeneration = 0;
    int m_captureGeneration = 0; // the session a local capture was asked in
    // Joined before the window goes, so a worker's report never meets a
    // dead window.
    TransferWorkers m_transferWorkers;
};

} // namespace Velmorant::Advanced

Q_DECLARE_METATYPE(Velmorant::Advanced::SendFileType)
