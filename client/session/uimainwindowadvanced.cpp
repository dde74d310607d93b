// SPDX-License-Identifier: GPL-2.0-or-later
#include "uimainwindowadvanced.h"

#include "app/settingsstore.h"
#include "filetransfer.h"
#include "glimrastreamlibrary.h"
#include "sendfiles.h"
#include "sessionlog.h"
#include "settings/uiconfigurationwindow.h"
#include "uicustombutton.h"
#include "uinotewindowadvanced.h"
#include "uiwebwindowadvanced.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHostInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QTimerEvent>
#include <QUrl>

namespace Velmorant::Advanced {

namespace {

// Tooltip keys; their texts come from the catalogues, under the context the
// buttons translate them with.
[[maybe_unused]] const char *const kToolTipKeys[] = {
    QT_TRANSLATE_NOOP("UiFreeWindow", "StartStreamText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "StopStreamText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "PauseStreamText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "FullScreenMaximizeStreamText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "FullScreenMinimizeStreamText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "SendFileText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "SendCaptureText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "SendWebText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "SendNoteText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "OpenConfigurationText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "DisconnectText"),
    QT_TRANSLATE_NOOP("UiFreeWindow", "GetCaptureText"),
};

const char kStyleSheet[] = "QToolTip{ background: #FFFFFF; border-width: 0px; color: #505050; border-radius: 2px}";

const char *const kSendMenuButtons[] = {"ButttonUploadExplorer", "ButtonUploadCapture", "ButtonUploadWeb",
                                        "ButtonUploadNote"};

// Re-rendering an SVG on every tick would cost for nothing.
void showImage(UiCustomButton *pButton, const QString &pPath)
{
    if (pButton && pButton->currentImage() != pPath)
        pButton->setImage(pPath);
}

const char *fluxName(StreamButtonsLook::Flux pFlux)
{
    switch (pFlux) {
    case StreamButtonsLook::Flux::Started:
        return "started";
    case StreamButtonsLook::Flux::Starting:
        return "starting";
    default:
        return "stopped";
    }
}

} // namespace

UiMainWindowAdvanced::UiMainWindowAdvanced(QWidget *parent, std::unique_ptr<StreamLibrary> pLibrary)
    : UiFreeWindow(parent), m_library(pLibrary ? std::move(pLibrary) : std::make_unique<GlimraStreamLibrary>()),
      m_stream(*m_library, [this](const QByteArray &pPayload) { send(pPayload); }),
      m_transfers({[this](const QString &pPath) { send(SessionMessages::fileRequest(QFileInfo(pPath).fileName())); },
                   [this](bool pVisible) { showWidget("LoaderImage", pVisible); },
                   [this](const QString &pPath) {
                       showMessageBox(tr("sendFile.tooLarge.title"),
                                      tr("sendFile.tooLarge.text").arg(QFileInfo(pPath).fileName()));
                   }})
{
    setObjectName(QStringLiteral("VelmorantWidgetForm"));
    setEnabled(true);
    setAcceptDrops(true);
    setStyleSheet(QLatin1String(kStyleSheet));

    m_socket.setConnectedCallback([this](Kiv::Network::TcpSocket *pSocket) { onSocketConnected(pSocket); });
    m_socket.setConnectionFailedCallback(
        [this](Kiv::Network::TcpSocket *pSocket) { onSocketConnectionFailed(pSocket); });
    m_socket.setMessageReceivedCallback([this](Kiv::Network::TcpSocket *pSocket, QByteArray pMessage) {
        onSocketMessageReceived(pSocket, std::move(pMessage));
    });
    m_socket.setConnectionStoppedCallback(
        [this](Kiv::Network::TcpSocket *pSocket) { onSocketConnectionStopped(pSocket); });

    setWindowName("UiMainWindowAdvanced");
    buildWindow();

    m_noteWindow = new UiNoteWindowAdvanced(this);
    m_noteWindow->setWindowModality(Qt::ApplicationModal);
    connect(m_noteWindow, &UiNoteWindowAdvanced::closed, this, &UiMainWindowAdvanced::onNoteWindowsClosed);
    m_webWindow = new UiWebWindowAdvanced(this);
    m_webWindow->setWindowModality(Qt::ApplicationModal);
    connect(m_webWindow, &UiWebWindowAdvanced::closed, this, &UiMainWindowAdvanced::onWebWindowsClosed);

    startTimer(StreamControl::kTickMs, Qt::CoarseTimer);

    m_captureDelay.setObjectName(QStringLiteral("captureDelay"));
    m_captureDelay.setSingleShot(true);
    m_captureDelay.setInterval(100);
    connect(&m_captureDelay, &QTimer::timeout, this, &UiMainWindowAdvanced::sltDoGrabCapture);

    qRegisterMetaType<SendFileType>("SendFileType");
    connect(this, &UiMainWindowAdvanced::sigFileRequestAccepted, this, &UiMainWindowAdvanced::sltFileRequestAccepted,
            Qt::QueuedConnection);
}

UiMainWindowAdvanced::~UiMainWindowAdvanced()
{
    // The socket's thread and the transfer workers call back into this
    // window: ask both to end, then wait for both.
    m_socket.requestStop();
    m_transferWorkers.requestStop();
    m_socket.waitForStop();
    m_transferWorkers.waitForStop();
}

void UiMainWindowAdvanced::showWidget(const char *pName, bool pVisible)
{
    if (QWidget *widget = findWidget(pName))
        widget->setVisible(pVisible);
}

void UiMainWindowAdvanced::onWindowBuilt()
{
    const struct {
        const char *name;
        bool visible;
        const char *toolTip;
    } buttons[] = {
        {"ButtonFlux", true, "StartStreamText"},
        {"ButtonFluxPause", false, "PauseStreamText"},
        {"ButtonFluxFullScreenMaximize", false, "FullScreenMaximizeStreamText"},
        {"ButtonFluxFullScreenMinimize", false, "FullScreenMinimizeStreamText"},
        {"ButtonUpload", true, nullptr},
        {"ButttonUploadExplorer", false, "SendFileText"},
        {"ButtonUploadCapture", false, "SendCaptureText"},
        {"ButtonUploadWeb", false, "SendWebText"},
        {"ButtonUploadNote", false, "SendNoteText"},
        {"ButtonConfig", true, "OpenConfigurationText"},
        {"ButtonDisconnect", true, "DisconnectText"},
        {"ButtonCapture", true, "GetCaptureText"},
        {"ButtonClose", true, nullptr},
        {"ButtonMinimize", true, nullptr},
    };
    for (const auto &b : buttons) {
        auto *button = findWidget<UiCustomButton>(b.name);
        if (!button)
            continue;
        button->setVisible(b.visible);
        if (b.toolTip)
            button->setToolTipText(QString::fromLatin1(b.toolTip));
    }
    for (const char *name : {"ButtonFluxPause", "ButtonFluxFullScreenMaximize", "ButtonFluxFullScreenMinimize"}) {
        if (QWidget *widget = findWidget(name))
            widget->setEnabled(false);
    }
    // The animations lie over buttons: they must not take their clicks.
    for (const char *name : {"LoaderFlux", "ButtonFluxPauseAnim"}) {
        if (QWidget *widget = findWidget(name)) {
            widget->hide();
            widget->setFocusPolicy(Qt::NoFocus);
            widget->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
    }
    showWidget("LoaderImage", false);
    showWidget("DisableMask", false);
}

void UiMainWindowAdvanced::setSettingsWindow(Velmorant::UiConfigurationWindow *pSettingsWindow)
{
    m_settingsWindow = pSettingsWindow;
    m_settingsWindow->setWindowModality(Qt::ApplicationModal);
    connect(m_settingsWindow, &Velmorant::UiConfigurationWindow::configurationUpdated, this,
            &UiMainWindowAdvanced::onConfigurationUpdated);
    connect(m_settingsWindow, &Velmorant::UiConfigurationWindow::userNameChanged, this,
            &UiMainWindowAdvanced::sendNewName);
    connect(m_settingsWindow, &Velmorant::UiConfigurationWindow::remoteControlAuthorizationChanged, this,
            &UiMainWindowAdvanced::sendRemoteControlSlot);
}

void UiMainWindowAdvanced::cacheSettings()
{
    if (!m_settingsWindow)
        return;
    m_settingsWindow->readConfiguration();
    m_screenIndex = m_settingsWindow->screenId();
    m_userName = m_settingsWindow->userName();
    m_capturePath = m_settingsWindow->capturePath();
    m_onTop = m_settingsWindow->isOnTop();
    m_remoteControl = m_settingsWindow->remoteControlAllowed();
    m_language = m_settingsWindow->language();
    m_stream.setScreenIndex(m_screenIndex);
    m_stream.setRemoteControl(m_remoteControl);
    m_settingsWindow->applyOnTop();
}

void UiMainWindowAdvanced::startSession(const Kiv::Network::ServerInfo &pServerInfo)
{
    m_serverInfo = pServerInfo;
    // The last connection's thread may be finishing its final callback.
    m_socket.waitForStop(Kiv::Network::TcpSocket::kConnectTimeoutMs);
    // The socket writes its queue in order once connected: the greeting goes
    // first, and nothing of an ended session reaches the next room.
    m_socket.clearSendQueue();
    m_socket.sendMessage(SessionMessages::greeting());
    qCInfo(lcSession).noquote() << "joining" << m_serverInfo.name << "at" << m_serverInfo.address << "port"
                                << m_serverInfo.port;
    m_socket.connectToServer(QHostAddress(m_serverInfo.address), m_serverInfo.port);
}

void UiMainWindowAdvanced::setCodeWindow(QWidget *pCodeWindow)
{
    m_codeWindow = pCodeWindow;
}

// --- the session connection ---------------------------------------------

void UiMainWindowAdvanced::onSocketConnected(Kiv::Network::TcpSocket *)
{
    // The greeting was queued before the connection: it is already first.
    QMetaObject::invokeMethod(this, &UiMainWindowAdvanced::stlConnectionReady, Qt::QueuedConnection);
}

void UiMainWindowAdvanced::onSocketConnectionFailed(Kiv::Network::TcpSocket *)
{
    // The stopped callback follows.
}

void UiMainWindowAdvanced::onSocketMessageReceived(Kiv::Network::TcpSocket *, QByteArray pMessage)
{
    QMetaObject::invokeMethod(
        this, [this, message = std::move(pMessage)] { dispatchMessage(message); }, Qt::QueuedConnection);
}

void UiMainWindowAdvanced::onSocketConnectionStopped(Kiv::Network::TcpSocket *)
{
    QMetaObject::invokeMethod(this, "stlConnectionStopped", Qt::AutoConnection);
}

void UiMainWindowAdvanced::stlConnectionReady()
{
    qCInfo(lcSession) << "session open";
}

void UiMainWindowAdvanced::send(const QByteArray &pPayload)
{
    // Never waits: the socket's thread writes it, after the greeting.
    m_socket.sendMessage(pPayload);
}

void UiMainWindowAdvanced::dispatchMessage(const QByteArray &pPayload)
{
    const ReceivedSessionMessage message = readSessionMessage(pPayload);
    switch (message.type) {
    case SessionMessageType::None:
        qCDebug(lcSession).noquote() << "message ignored:" << message.ignoredReason;
        break;
    case SessionMessageType::IdentityRequest:
        sendIdentity();
        break;
    case SessionMessageType::FileAccepted:
        emit sigFileRequestAccepted(message.transferId);
        break;
    case SessionMessageType::StreamStart:
        m_stream.onStreamStart(message.bodyValid, message.streamStart, QString::fromStdString(m_socket.peerAddress()));
        sltUpdateFluxButtonState();
        break;
    case SessionMessageType::CaptureImage:
        sltCaptureDone(QVariant(message.image));
        break;
    case SessionMessageType::CaptureRefused:
        sltCaptureRefused();
        break;
    case SessionMessageType::CaptureError:
        sltCaptureGenericError();
        break;
    case SessionMessageType::SessionSettings:
        if (message.bodyValid)
            sltSettingsReceived(message.settings);
        else
            qCInfo(lcSession) << "SessionSettings body does not parse: ignored";
        break;
    case SessionMessageType::AllowedExtensions:
        m_allowedExtensions << message.extensions;
        break;
    case SessionMessageType::RemoteControlQuery:
        send(SessionMessages::remoteControlMessage(m_remoteControl));
        break;
    case SessionMessageType::FullscreenState:
        m_stream.onFullscreenState(message.bodyValid, message.fullscreenState);
        sltUpdateFluxButtonState();
        break;
    default:
        break;
    }
}

void UiMainWindowAdvanced::sendIdentity()
{
    QTimer::singleShot(0, this, [this] {
        showWidget("DisableMask", false);
        repaint();
    });
    const QString computerName = QHostInfo::localHostName();
    const QString userName = m_userName.isEmpty() ? Velmorant::derivedUserName() : m_userName;
    send(SessionMessages::identity(computerName, userName));
}

void UiMainWindowAdvanced::sltSettingsReceived(QJsonObject pJsonConfig)
{
    const RoomSettings settings = roomSettingsFrom(pJsonConfig);
    if (auto *title = findWidget<QLabel>("Title")) {
        // The label is narrow: a long room name is shortened, and shown whole on hover.
        const QString shown = title->fontMetrics().elidedText(settings.title, Qt::ElideRight, title->width());
        title->setText(shown);
        title->setToolTip(shown == settings.title ? QString() : settings.title);
    }
    if (auto *capture = findWidget<UiCustomButton>("ButtonCapture")) {
        capture->setHandCursor(settings.captureAllowed);
        showImage(capture, settings.captureAllowed ? capture->backgroundImage() : capture->backgroundImage2());
    }
    m_fullscreenFeature = settings.fullscreenFeature;
    m_stream.setFullscreenFeature(settings.fullscreenFeature);
    qCInfo(lcSession).noquote() << QStringLiteral("room settings title=\"%1\" capture=%2 fullscreen=%3")
                                       .arg(settings.title)
                                       .arg(int(settings.captureAllowed))
                                       .arg(int(settings.fullscreenFeature));
    sltUpdateFluxButtonState();
}

// --- settings ------------------------------------------------------------

void UiMainWindowAdvanced::stlButtonConfigurationClicked()
{
    if (!m_settingsWindow)
        return;
    m_settingsWindow->fillScreenList();
    m_settingsWindow->setScreenId(StreamControl::streamedScreenIndex(m_screenIndex, screenCount()));
    m_settingsWindow->setUserName(m_userName);
    m_settingsWindow->setCapturePath(m_capturePath);
    m_settingsWindow->setOnTop(m_onTop);
    m_settingsWindow->setRemoteControlAllowed(m_remoteControl);
    m_settingsWindow->setLanguage(m_language);
    show();
    m_settingsWindow->setWindowFlag(Qt::WindowStaysOnTopHint, m_onTop);
    m_settingsWindow->show();
}

void UiMainWindowAdvanced::onConfigurationUpdated()
{
    if (!m_settingsWindow)
        return;
    const bool remoteControl = m_settingsWindow->remoteControlAllowed();
    if (remoteControl != m_remoteControl)
        m_library->remoteInteractionActived(remoteControl);
    cacheSettings();
}

void UiMainWindowAdvanced::sendNewName(QString pNewName)
{
    send(SessionMessages::userNameMessage(pNewName));
}

void UiMainWindowAdvanced::sendRemoteControlSlot(bool pConfigRemoteControl)
{
    send(SessionMessages::remoteControlMessage(pConfigRemoteControl));
}

// --- window buttons and the end of a session ------------------------------

void UiMainWindowAdvanced::stlButtonCloseClicked()
{
    m_socket.requestStop();
    QCoreApplication::exit(0);
}

void UiMainWindowAdvanced::stlButtonMinimizeClicked()
{
    showMinimized();
}

void UiMainWindowAdvanced::stlButtonDisconnectClicked()
{
    qCInfo(lcSession) << "disconnect";
    m_socket.requestStop();
    m_library->stop();
    if (m_settingsWindow)
        m_settingsWindow->setMode(Velmorant::UiConfigurationWindow::CodeWindowMode);
}

void UiMainWindowAdvanced::stlConnectionStopped()
{
    qCInfo(lcSession) << "session ended";
    m_stream.sessionEnded();
    if (m_codeWindow) {
        m_codeWindow->show();
        m_codeWindow->raise();
        m_codeWindow->activateWindow();
    }
    m_noteWindow->reset(true);
    m_noteWindow->hide();
    m_webWindow->hide();
    if (m_settingsWindow)
        m_settingsWindow->hide();
    showWidget("LoaderImage", false);

    for (const QString &path : m_transfers.clear())
        qCWarning(lcSession).noquote() << "not sent, the session ended:" << path;
    ++m_sessionGeneration;

    // Close the send menu.
    if (auto *upload = findWidget<UiCustomButton>("ButtonUpload"))
        showImage(upload, upload->backgroundImage());
    for (const char *name : kSendMenuButtons)
        showWidget(name, false);
    showWidget("ButtonConfig", true);
    showWidget("ButtonDisconnect", true);
    m_uploadMenuOpen = false;

    hide();
}

// --- stream control --------------------------------------------------------

int UiMainWindowAdvanced::screenCount() const
{
    return QGuiApplication::screens().size();
}

void UiMainWindowAdvanced::stlButtonFluxClicked()
{
    m_stream.fluxClicked(screenCount());
    sltUpdateFluxButtonState();
}

void UiMainWindowAdvanced::stlButtonFluxPauseClicked()
{
    m_stream.pauseClicked();
    sltUpdateFluxButtonState();
}

void UiMainWindowAdvanced::stlButtonFluxFullScreenMaximizeClicked()
{
    m_stream.maximizeClicked();
    sltUpdateFluxButtonState();
}

void UiMainWindowAdvanced::stlButtonFluxFullScreenMinimizeClicked()
{
    m_stream.minimizeClicked();
    sltUpdateFluxButtonState();
}

void UiMainWindowAdvanced::timerEvent(QTimerEvent *pEvent)
{
    Q_UNUSED(pEvent);
    if (m_stream.tick())
        sltUpdateFluxButtonState();
}

void UiMainWindowAdvanced::sltUpdateFluxButtonState()
{
    applyStreamLook(m_stream.look());
}

void UiMainWindowAdvanced::applyStreamLook(const StreamButtonsLook &pLook)
{
    if (auto *flux = findWidget<UiCustomButton>("ButtonFlux")) {
        switch (pLook.flux) {
        case StreamButtonsLook::Flux::Stopped:
            showImage(flux, flux->backgroundImage());
            break;
        case StreamButtonsLook::Flux::Started:
            showImage(flux, flux->backgroundImage2());
            break;
        case StreamButtonsLook::Flux::Starting:
            showImage(flux, flux->backgroundImage3());
            break;
        }
        flux->setToolTipText(QString::fromLatin1(pLook.fluxToolTip));
    }
    showWidget("LoaderFlux", pLook.loaderVisible);
    if (auto *pause = findWidget<UiCustomButton>("ButtonFluxPause")) {
        pause->setVisible(pLook.pauseVisible);
        pause->setEnabled(pLook.pauseVisible);
        showImage(pause, pLook.paused ? pause->backgroundImage2() : pause->backgroundImage());
    }
    showWidget("ButtonFluxPauseAnim", pLook.pauseVisible && pLook.paused);
    const struct {
        const char *name;
        bool visible;
        bool enabled;
    } fullscreenButtons[] = {
        {"ButtonFluxFullScreenMaximize", pLook.maximizeVisible, pLook.maximizeEnabled},
        {"ButtonFluxFullScreenMinimize", pLook.minimizeVisible, pLook.minimizeEnabled},
    };
    for (const auto &f : fullscreenButtons) {
        auto *button = findWidget<UiCustomButton>(f.name);
        if (!button)
            continue;
        showImage(button, pLook.fullscreenUsable ? button->backgroundImage() : button->backgroundImage2());
        button->setVisible(f.visible);
        button->setEnabled(f.enabled);
    }

    // One line per change of what the buttons show.
    const QString line = QStringLiteral("stream look flux=%1 loader=%2 pause=%3 paused=%4 maximize=%5%6 "
                                        "minimize=%7%8 usable=%9")
                             .arg(QLatin1String(fluxName(pLook.flux)))
                             .arg(int(pLook.loaderVisible))
                             .arg(int(pLook.pauseVisible))
                             .arg(int(pLook.paused))
                             .arg(int(pLook.maximizeVisible))
                             .arg(pLook.maximizeEnabled ? "" : "d")
                             .arg(int(pLook.minimizeVisible))
                             .arg(pLook.minimizeEnabled ? "" : "d")
                             .arg(int(pLook.fullscreenUsable));
    if (line != m_loggedLook) {
        m_loggedLook = line;
        qCInfo(lcSession).noquote() << line;
    }
}

// --- sending to the room ---------------------------------------------------

void UiMainWindowAdvanced::stlButtonUploadClicked()
{
    m_uploadMenuOpen = !m_uploadMenuOpen;
    if (auto *upload = findWidget<UiCustomButton>("ButtonUpload"))
        showImage(upload, m_uploadMenuOpen ? upload->backgroundImage2() : upload->backgroundImage());
    for (const char *name : kSendMenuButtons)
        showWidget(name, m_uploadMenuOpen);
    showWidget("ButtonConfig", true);
    showWidget("ButtonDisconnect", true);
}

QStringList UiMainWindowAdvanced::chooseFilesToSend(const QString &pStartFolder, const QString &pFilter)
{
    return QFileDialog::getOpenFileNames(this, tr("sendFile.dialog.title"), pStartFolder, pFilter);
}

void UiMainWindowAdvanced::stlButtonUploadExplorerClicked()
{
    const QString start =
        QDir::cleanPath(QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation).value(0));
    const QString filter = tr("sendFile.dialog.filter") + QLatin1Char(' ') + extensionPatterns(m_allowedExtensions);
    QStringList existing;
    for (const QString &path : chooseFilesToSend(start, filter)) {
        if (QFile::exists(path))
            existing << path;
    }
    if (!existing.isEmpty())
        m_transfers.enqueue(SendFileType::File, existing);
}

void UiMainWindowAdvanced::dragEnterEvent(QDragEnterEvent *pEvent)
{
    if (!pEvent->mimeData()->hasUrls())
        return;
    const QList<QUrl> urls = pEvent->mimeData()->urls();
    for (const QUrl &url : urls) {
        const QString path = url.toLocalFile();
        if (isWebLink(path, url.toString()) || (!path.isEmpty() && isAllowedFile(path, m_allowedExtensions))) {
            pEvent->acceptProposedAction();
            return;
        }
    }
}

void UiMainWindowAdvanced::dropEvent(QDropEvent *pEvent)
{
    if (!pEvent->mimeData()->hasUrls())
        return;
    QStringList accepted;
    const QList<QUrl> urls = pEvent->mimeData()->urls();
    for (const QUrl &url : urls) {
        QString path = url.toLocalFile();
        if (!path.isEmpty()) {
            if (!isAllowedFile(path, m_allowedExtensions)) {
                qCInfo(lcSession).noquote() << "refused by the room's extensions:" << path;
                send(SessionMessages::fileRefused(QFileInfo(path).fileName()));
                continue;
            }
        } else if (isWebLink(path, url.toString())) {
            path = createWebLinkFile(url.toString());
            if (path.isEmpty())
                qCWarning(lcSession).noquote() << "no shortcut file could be written for" << url.toString();
        }
        if (!path.isEmpty())
            accepted << path;
    }
    if (!accepted.isEmpty())
        m_transfers.enqueue(SendFileType::File, accepted);
    pEvent->acceptProposedAction();
}

QString UiMainWindowAdvanced::createWebLinkFile(const QString &pUrl)
{
    if (!m_temporaryFolder.isValid())
        return {};
    return Velmorant::Advanced::createWebLinkFile(m_temporaryFolder.path(), pUrl, now());
}

void UiMainWindowAdvanced::sltFileRequestAccepted(int pTransferId)
{
    const TransferQueues::Accepted accepted = m_transfers.onAccepted();
    if (accepted.valid)
        startTransferWorker(pTransferId, accepted.path, accepted.type);
}

void UiMainWindowAdvanced::startTransferWorker(int pTransferId, const QString &pPath, SendFileType pType)
{
    qCInfo(lcSession).noquote() << "sending" << pPath << "as transfer" << pTransferId;
    const QString address = m_serverInfo.address;
    const quint16 port = m_serverInfo.port;
    const int generation = m_sessionGeneration;
    // A transfer runs to its end even when the session does not.
    m_transferWorkers.start(
        [this, address, port, pTransferId, pPath, pType, generation](const std::atomic<bool> &pStop) {
            const FileTransferOutcome outcome = sendFile(address, port, pTransferId, pPath, {}, &pStop);
            if (outcome == FileTransferOutcome::Sent)
                qCInfo(lcSession).noquote() << "sent" << pPath;
            else
                qCWarning(lcSession).noquote() << "not sent," << outcomeName(outcome) << "-" << pPath;
            // Dropped unread if the window goes first.
            QMetaObject::invokeMethod(
                this, [this, pType, generation] { finishTransfer(pType, generation); }, Qt::QueuedConnection);
        });
}

void UiMainWindowAdvanced::finishTransfer(SendFileType pType, int pGeneration)
{
    // The queues of that session are gone; this one's must not lose an item.
    if (pGeneration != m_sessionGeneration)
        return;
    onTransferDone(pType);
}

void UiMainWindowAdvanced::onTransferDone(SendFileType pSendFileType)
{
    m_transfers.onTransferDone(pSendFileType);
}

void UiMainWindowAdvanced::stlButtonUploadNoteClicked()
{
    m_noteWindow->reset(false);
    m_noteWindow->setWindowFlag(Qt::WindowStaysOnTopHint, m_onTop);
    m_noteWindow->show();
    m_noteWindow->reset(false);
}

void UiMainWindowAdvanced::onNoteWindowsClosed()
{
    if (m_noteWindow->isValidated())
        send(SessionMessages::noteMessage(m_noteWindow->composedNote()));
}

void UiMainWindowAdvanced::stlButtonUploadWebClicked()
{
    m_webWindow->reset();
    m_webWindow->setWindowFlag(Qt::WindowStaysOnTopHint, m_onTop);
    m_webWindow->show();
}

void UiMainWindowAdvanced::onWebWindowsClosed()
{
    if (!m_webWindow->url().isEmpty())
        send(SessionMessages::webLinkMessage(m_webWindow->url()));
}

// --- captures ----------------------------------------------------------------

bool UiMainWindowAdvanced::captureAllowed() const
{
    const auto *capture = findWidget<UiCustomButton>("ButtonCapture");
    return !capture || capture->currentImage() != capture->backgroundImage2();
}

void UiMainWindowAdvanced::stlButtonCaptureClicked()
{
    if (!captureAllowed())
        return;
    showWidget("LoaderImage", true);
    send(SessionMessages::captureRequest());
}

QString UiMainWindowAdvanced::chooseCaptureSavePath(const QString &pProposedPath)
{
    return QFileDialog::getSaveFileName(this, tr("capture.save.title"), pProposedPath, tr("capture.save.filter"));
}

void UiMainWindowAdvanced::sltCaptureDone(QVariant pImageData)
{
    if (m_transfers.transfersInProgress() == 0)
        showWidget("LoaderImage", false);
    const QString proposed = proposedRoomCaptureName(m_lastCaptureFolder, now().date(), tr("capture.filename.suffix"));
    const QString path = chooseCaptureSavePath(proposed);
    if (path.isEmpty())
        return;
    m_lastCaptureFolder = QFileInfo(path).path();
    sltCaptureDoneThread(pImageData, path);
}

void UiMainWindowAdvanced::sltCaptureDoneThread(QVariant pImageData, QString pImagePath)
{
    // All or nothing: a failed write never leaves half an image.
    QSaveFile file(pImagePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(pImageData.toByteArray()) < 0 || !file.commit())
        qCWarning(lcSession).noquote() << "room capture not saved to" << pImagePath << file.errorString();
}

void UiMainWindowAdvanced::showMessageBox(const QString &pTitle, const QString &pText)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, pTitle, pText, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void UiMainWindowAdvanced::sltCaptureRefused()
{
    showWidget("LoaderImage", false);
    showMessageBox(tr("capture.error.refused.title"), tr("capture.error.refused.text"));
}

void UiMainWindowAdvanced::sltCaptureGenericError()
{
    showWidget("LoaderImage", false);
    showMessageBox(tr("capture.error.generic.title"), tr("capture.error.generic.text"));
}

QDateTime UiMainWindowAdvanced::now() const
{
    return QDateTime::currentDateTime();
}

void UiMainWindowAdvanced::stlButtonUploadCaptureClicked()
{
    m_captureGeneration = m_sessionGeneration;
    m_captureDelay.start();
    // Out of the picture.
    hide();
}

void UiMainWindowAdvanced::sltDoGrabCapture()
{
    // The session ended meanwhile: the window stays hidden, nothing is taken.
    if (m_captureGeneration != m_sessionGeneration)
        return;
    if (!m_temporaryFolder.isValid()) {
        show();
        return;
    }
    const QString path =
        localCapturePath(m_temporaryFolder.path(), now(), tr("localCaptureToVelmorant.filename.suffix"));
    if (m_transfers.queue(SendFileType::Capture).contains(path)) {
        show();
        return;
    }
    m_library->setStreamedScreen(StreamControl::streamedScreenIndex(m_screenIndex, screenCount()));
    const QString name = m_library->grabbedScreenName();
    QPixmap picture;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *screen : screens) {
        if (screen->name() == name)
            picture = screen->grabWindow(0);
    }
    show();
    if (picture.isNull())
        qCWarning(lcSession).noquote() << "no screen named" << name << "to capture";
    else if (!picture.save(path, "PNG"))
        qCWarning(lcSession).noquote() << "capture not written to" << path;
    sltDoUploadCapture(path);
}

void UiMainWindowAdvanced::sltDoUploadCapture(QString pCaptureFilePath)
{
    m_transfers.queueCapture(pCaptureFilePath);
}

} // namespace Velmorant::Advanced
