// SPDX-License-Identifier: GPL-2.0-or-later
#include "uicodewindow.h"

#include "app/constants.h"
#include "app/singleinstanceserver.h"
#include "network/roomstatus.h"
#include "platform/platform.h"
#include "settings/uiconfigurationwindow.h"
#include "uicodetextbox.h"
#include "uimainwindowadvanced.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QScreen>
#include <QTextStream>

Q_LOGGING_CATEGORY(lcCodeWindow, "velmorant.codewindow")

namespace {
const char kApplicationName[] = "VELM_CLIENT";
const char kProtocolVersion[] = "1.2";
} // namespace

UiCodeWindow::UiCodeWindow(QWidget *parent, quint16 pDiscoveryPort)
    : UiFreeWindow(parent), m_serverFinder(std::make_unique<Kiv::Network::ServerFinder>(pDiscoveryPort))
{
    QFontDatabase::addApplicationFont(QStringLiteral(":/MainWidget/Muli-Regular.ttf"));
    setWindowName("UiCodeWindow");

    QString version = QString::fromLatin1(Velmorant::kProgramVersion);
    QString protocolVersion = QString::fromLatin1(kProtocolVersion);
    readVersionOverrides(version, protocolVersion);
    m_updateChecker.setIdentity(QString::fromLatin1(kApplicationName), version, protocolVersion);

    m_noServerTimer.setSingleShot(true);
    connect(&m_noServerTimer, &QTimer::timeout, this, &UiCodeWindow::sltNoServerFound);

    m_settingsWindow = new Velmorant::UiConfigurationWindow(this);
    buildWindow();

    m_instanceServer = std::make_unique<Velmorant::SingleInstanceServer>(this);
    startTimer(500, Qt::CoarseTimer);
}

UiCodeWindow::~UiCodeWindow()
{
    // The update thread reads the finder's list; the finder's threads call
    // back into this window: end both before anything else goes.
    if (m_updateThread) {
        m_updateThread->wait();
        delete m_updateThread;
    }
    m_serverFinder.reset();
    m_downloadThread.wait();
}

void UiCodeWindow::readVersionOverrides(QString &pVersion, QString &pProtocolVersion) const
{
    QFile file(QStringLiteral("version.txt"));
    if (!file.exists() || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream in(&file);
    pVersion = in.readLine();
    pProtocolVersion = in.readLine();
}

QWidget *UiCodeWindow::createCustomWidget(const WidgetDescription &pDescription, QWidget *pParent)
{
    if (pDescription.type != QLatin1String("UiTextboxCode"))
        return UiFreeWindow::createCustomWidget(pDescription, pParent);
    auto *box = new UiCodeTextbox(pParent);
    box->setGeometry(pDescription.x, pDescription.y, pDescription.width, pDescription.height);
    box->setBackgroundImage(pDescription.backgroundImage);
    box->setCursorImage(pDescription.stringValue("BackgroundCursorImage"));
    // Replaced by the box's own layout rule at once; kept for the record.
    box->setCharacterLayout(UiFreeWindow::scaled(pDescription.intValue("CaracterMargin"), scaleFactor()),
                            UiFreeWindow::scaled(pDescription.intValue("CaracterWidth"), scaleFactor()));
    box->setKeyReceiver(this);
    box->layoutCells();
    return box;
}

void UiCodeWindow::showWidget(const char *pName, bool pVisible)
{
    if (QWidget *widget = findWidget(pName))
        widget->setVisible(pVisible);
}

void UiCodeWindow::setLabelText(const char *pName, const QString &pText)
{
    if (auto *label = findWidget<QLabel>(pName))
        label->setText(pText);
}

void UiCodeWindow::onWindowBuilt()
{
    if (auto *version = findWidget<QLabel>("LabelVersionWidget")) {
        version->setText(QStringLiteral("V") + QString::fromLatin1(Velmorant::kProgramVersion));
        version->show();
    }
    if (QWidget *splash = findWidget("SplashScreen")) {
        m_opacityEffect = new QGraphicsOpacityEffect(splash);
        m_opacityEffect->setOpacity(1.0);
        splash->setGraphicsEffect(m_opacityEffect);
    }
    m_fadeStep = 0;
    showWidget("ButtonConnect", false);
    connect(&m_splashTimer, &QTimer::timeout, this, &UiCodeWindow::sltAfterSplashScreen, Qt::UniqueConnection);
    m_splashTimer.start(1000);

    m_textbox = findWidget<UiCodeTextbox>("TextboxCode");
    if (m_textbox) {
        connect(m_textbox, &UiCodeTextbox::codeChanged, this, &UiCodeWindow::sltCodeChanged, Qt::UniqueConnection);
        m_textbox->setFocus();
    }
    showWidget("LabelRoom", true);
    setLabelText("LabelRoom", tr("Connexion"));
    setLabelText("LabelUserCount", tr("Enter Code"));

    connect(this, &UiCodeWindow::internSigServersListChanged, this, &UiCodeWindow::sltServersListChanged,
            Qt::UniqueConnection);
    // Runs on finder threads: only hand the news to the GUI thread.
    m_serverFinder->setListChangedCallback(
        [this](Kiv::Network::ServerFinder *) { emit internSigServersListChanged(); });
    if (!m_serverFinder->isRunning())
        m_serverFinder->start();

    for (const char *name : {"LoaderImage", "ApplyUpdateView", "ButtonDoUpdate", "ButtonDoUpdateText",
                             "DownloadUpdateView", "UpdateErrorView"})
        showWidget(name, false);
    showWidget("ButtonNetworkConfiguration", true);

    m_state = Idle;
    m_downloadThread.setUpdateChecker(&m_updateChecker);
    connect(&m_downloadThread, &Velmorant::ThreadDownloadUpdate::sigDownloadUpdateEnded, this,
            &UiCodeWindow::sltDownloadUpdateEnded, Qt::UniqueConnection);
}

void UiCodeWindow::sltAfterSplashScreen()
{
    m_splashTimer.stop();
    if (!m_fadeTimer) {
        m_fadeTimer = new QTimer(this);
        connect(m_fadeTimer, &QTimer::timeout, this, &UiCodeWindow::sltChangeSplashScreenOpacity);
    }
    m_fadeTimer->start(50);
}

void UiCodeWindow::sltChangeSplashScreenOpacity()
{
    ++m_fadeStep;
    if (m_opacityEffect)
        m_opacityEffect->setOpacity((10 - m_fadeStep) / 10.0);
    if (m_fadeStep >= 10) {
        showWidget("SplashScreen", false);
        m_fadeTimer->stop();
    }
}

bool UiCodeWindow::codeComplete() const
{
    return m_textbox && !m_textbox->code().contains(QLatin1Char('_'));
}

void UiCodeWindow::refreshStatus()
{
    applyStatus();
    logStatusChange();
}

void UiCodeWindow::applyStatus()
{
    for (const char *name : {"LoaderImage", "ButtonConnect", "ButtonDoUpdate", "ButtonDoUpdateText"})
        showWidget(name, false);
    showWidget("LabelRoom", true);
    setLabelText("LabelRoom", tr("Connexion"));

    if (!codeComplete()) {
        m_state = Idle;
        showWidget("LabelUserCount", true);
        setLabelText("LabelUserCount", tr("Enter Code"));
        return;
    }
    switch (m_state) {
    case Idle:
        showWidget("LabelUserCount", true);
        setLabelText("LabelUserCount", tr("Enter Code"));
        break;
    case Searching:
        showWidget("LoaderImage", true);
        break;
    case Found: {
        const QList<Kiv::Network::ServerInfo> servers = m_serverFinder->getServers();
        if (servers.isEmpty()) {
            showWidget("LabelUserCount", true);
            setLabelText("LabelUserCount", tr("Enter Code"));
            break;
        }
        showWidget("ButtonConnect", true);
        const Kiv::Network::RoomStatus status = Kiv::Network::roomStatus(servers.first());
        setLabelText("LabelRoom", status.roomLabel);
        showWidget("LabelUserCount", status.userCountVisible);
        if (status.userCountVisible)
            setLabelText("LabelUserCount", status.userCountText);
        if (!status.joinAllowed)
            showWidget("ButtonConnect", false);
        if (m_updateChecker.status() == Velmorant::UpdateChecker::UpdateAvailable) {
            showWidget("ButtonDoUpdate", true);
            showWidget("ButtonDoUpdateText", true);
        }
        break;
    }
    case NoneFound:
        showWidget("LabelUserCount", true);
        setLabelText("LabelUserCount", tr("no server found"));
        break;
    }
}

void UiCodeWindow::logStatusChange()
{
    const auto *room = findWidget<QLabel>("LabelRoom");
    const auto *users = findWidget<QLabel>("LabelUserCount");
    const QWidget *connectButton = findWidget("ButtonConnect");
    const QString status =
        QStringLiteral("state=%1 room=\"%2\" users=\"%3\" connect=%4")
            .arg(m_state)
            .arg(room ? room->text() : QString())
            .arg(users && !users->isHidden() ? users->text().replace('\n', QLatin1String("\\n")) : QString())
            .arg(connectButton && !connectButton->isHidden() ? 1 : 0);
    if (status != m_loggedStatus) {
        m_loggedStatus = status;
        qCInfo(lcCodeWindow).noquote() << "status" << status;
    }
}

void UiCodeWindow::sltCodeChanged(QString pCode)
{
    m_updateCheckStarted = false;
    m_serverFinder->setCode(pCode);
    if (!pCode.contains(QLatin1Char('_'))) {
        m_state = Searching;
        refreshStatus();
        // One timer, restarted: a timer left from an earlier code must not
        // declare the new one unfound early.
        m_noServerTimer.start(3000);
    } else {
        m_state = Idle;
        refreshStatus();
    }
}

void UiCodeWindow::onServersFound()
{
    m_state = Found;
    refreshStatus();
    if (m_updateCheckStarted || m_updateThread)
        return;
    m_updateCheckStarted = true;
    m_updateThread = new QThread();
    connect(m_updateThread, &QThread::started, this, &UiCodeWindow::sltCheckUpdate, Qt::DirectConnection);
    connect(m_updateThread, &QThread::finished, this, &UiCodeWindow::sltUpdateChecked);
    m_updateThread->start(QThread::InheritPriority);
}

void UiCodeWindow::sltServersListChanged()
{
    if (!m_serverFinder->getServers().isEmpty()) {
        onServersFound();
        return;
    }
    m_state = codeComplete() ? NoneFound : Idle;
    refreshStatus();
}

void UiCodeWindow::sltNoServerFound()
{
    if (!m_serverFinder->getServers().isEmpty())
        return;
    m_state = codeComplete() ? NoneFound : Idle;
    refreshStatus();
}

void UiCodeWindow::timerEvent(QTimerEvent *)
{
    if (!m_serverFinder->getServers().isEmpty())
        onServersFound();
    m_serverFinder->setPaused(!isVisible());
}

void UiCodeWindow::sltCheckUpdate()
{
    // On the update thread.
    const QList<Kiv::Network::ServerInfo> servers = m_serverFinder->getServers();
    if (!servers.isEmpty()) {
        m_updateChecker.setServer(QHostAddress(servers.first().address), servers.first().port);
        m_updateChecker.check();
    }
    QThread::currentThread()->exit(0);
}

void UiCodeWindow::sltUpdateChecked()
{
    if (!m_updateThread)
        return;
    m_updateThread->wait();
    delete m_updateThread;
    m_updateThread = nullptr;

    switch (m_updateChecker.status()) {
    case Velmorant::UpdateChecker::UpdateRequired:
        sltButtonUpdateClicked();
        break;
    case Velmorant::UpdateChecker::ClientTooRecent:
    case Velmorant::UpdateChecker::NoUpdateOnServer: {
        const bool tooRecent = m_updateChecker.status() == Velmorant::UpdateChecker::ClientTooRecent;
        showWidget("UpdateErrorClientToRecentLabel", tooRecent);
        showWidget("UpdateErrorNoUpdateLabel", !tooRecent);
        if (QWidget *view = findWidget("UpdateErrorView")) {
            view->setFocus();
            view->show();
        }
        break;
    }
    default:
        refreshStatus();
        break;
    }
}

void UiCodeWindow::sltButtonUpdateClicked()
{
    showWidget("LabelUpdateNeeded", false);
    showWidget("LabelUpdateExist", false);
    const bool required = m_updateChecker.status() == Velmorant::UpdateChecker::UpdateRequired;
    if (QWidget *label = findWidget(required ? "LabelUpdateNeeded" : "LabelUpdateExist")) {
        label->show();
        if (required)
            label->setFocus();
    }
    showWidget("ApplyUpdateView", true);
}

void UiCodeWindow::sltDoUpdateValid()
{
    showWidget("DownloadUpdateView", true);
    if (!m_downloadThread.isRunning())
        m_downloadThread.start(QThread::InheritPriority);
}

void UiCodeWindow::sltDoUpdateCancel()
{
    showWidget("ApplyUpdateView", false);
    showWidget("UpdateErrorView", false);
    const int status = m_updateChecker.status();
    if (status == Velmorant::UpdateChecker::UpdateRequired || status == Velmorant::UpdateChecker::ClientTooRecent ||
        status == Velmorant::UpdateChecker::NoUpdateOnServer) {
        if (m_textbox) {
            m_textbox->setFocus();
            m_textbox->clearCode();
        }
        m_state = Idle;
        refreshStatus();
    }
}

void UiCodeWindow::sltDownloadUpdateEnded(QString pUpdatePath)
{
    if (pUpdatePath.isEmpty()) {
        showWidget("DownloadUpdateView", false);
        return;
    }
    if (!Velmorant::Platform::startInstallerElevated(pUpdatePath.toStdWString()))
        qCWarning(lcCodeWindow) << "could not start the installer" << pUpdatePath;
    QCoreApplication::exit(0);
}

void UiCodeWindow::stlButtonConnectClicked()
{
    const QList<Kiv::Network::ServerInfo> servers = m_serverFinder->getServers();
    if (servers.isEmpty())
        return;
    const Kiv::Network::ServerInfo server = servers.first();
    if (server.type == 2) {
        if (!m_sessionWindow) {
            m_sessionWindow = std::make_unique<Velmorant::Advanced::UiMainWindowAdvanced>();
            m_sessionWindow->setSettingsWindow(m_settingsWindow);
            m_sessionWindow->cacheSettings();
        }
        m_settingsWindow->setMode(Velmorant::UiConfigurationWindow::AdvancedWindowMode);
        m_sessionWindow->startSession(server);
        m_sessionWindow->setCodeWindow(this);
        QPoint at(x() + width() / 2 - m_sessionWindow->width() / 2, y() + height() / 2 - m_sessionWindow->height() / 2);
        // Centred on a window near a screen edge, it would stick out of it.
        if (const QScreen *screen = this->screen()) {
            const QRect area = screen->availableGeometry();
            at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() + 1 - m_sessionWindow->width())));
            at.setY(qBound(area.top(), at.y(), qMax(area.top(), area.bottom() + 1 - m_sessionWindow->height())));
        }
        m_sessionWindow->move(at);
        m_sessionWindow->show();
    }
    hide();
    m_serverFinder->overrideCode(QStringLiteral("_____"));
    if (m_textbox)
        m_textbox->clearCode();
    m_state = Idle;
    refreshStatus();
}

void UiCodeWindow::stlButtonCloseClicked()
{
    QCoreApplication::exit(0);
}

void UiCodeWindow::sltButtonNetworkConfigurationClicked()
{
    m_settingsWindow->setMode(1);
    m_settingsWindow->show();
}

void UiCodeWindow::childKeyPressEvent(QKeyEvent *pEvent)
{
    if (pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter) {
        QWidget *connectButton = findWidget("ButtonConnect");
        if (connectButton && connectButton->isVisible())
            stlButtonConnectClicked();
        return;
    }
    UiFreeWindow::childKeyPressEvent(pEvent);
}

void UiCodeWindow::closeEvent(QCloseEvent *pEvent)
{
    pEvent->accept();
    QCoreApplication::exit(0);
}
