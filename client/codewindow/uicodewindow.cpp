// SPDX-License-Identifier: GPL-2.0-or-later
#include "uicodewindow.h"

#include "app/constants.h"
#include "app/singleinstanceserver.h"
#include "codewindowlog.h"
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
#include <QScreen>
#include <QTextStream>

namespace {
const char kApplicationName[] = "VELM_CLIENT";
const char kProtocolVersion[] = "1.2";
} // namespace

UiCodeWindow::UiCodeWindow(QWidget *parent, quint16 pDiscoveryPort)
    : UiFreeWindow(parent), m_serverFinder(std::make_unique<Kiv::Network::ServerFinder>(pDiscoveryPort)),
      m_machine(CodeStateMachine::finderOf(*m_serverFinder), CodeStateMachine::updaterOf(m_updateChecker))
{
    QFontDatabase::addApplicationFont(QStringLiteral(":/MainWidget/Muli-Regular.ttf"));
    setWindowName("UiCodeWindow");

    QString version = QString::fromLatin1(Velmorant::kProgramVersion);
    QString protocolVersion = QString::fromLatin1(kProtocolVersion);
    readVersionOverrides(version, protocolVersion);
    m_updateChecker.setIdentity(QString::fromLatin1(kApplicationName), version, protocolVersion);

    connect(&m_machine, &CodeStateMachine::changed, this, &UiCodeWindow::onStateChanged);
    connect(&m_machine, &CodeStateMachine::updateOffered, this, [this] {
        if (m_machine.updateViews().required)
            focusWidget("LabelUpdateNeeded");
    });
    connect(&m_machine, &CodeStateMachine::updateRefused, this, [this] { focusWidget("UpdateErrorView"); });
    connect(&m_machine, &CodeStateMachine::codeCleared, this, [this] {
        if (m_textbox) {
            m_textbox->setFocus();
            m_textbox->clearCode();
        }
    });
    connect(&m_machine, &CodeStateMachine::downloadRequested, this, [this] {
        if (!m_downloadThread.isRunning())
            m_downloadThread.start();
    });
    connect(&m_machine, &CodeStateMachine::installerReady, this, [](const QString &pPath) {
        if (!Velmorant::Platform::startInstallerElevated(pPath.toStdWString()))
            qCWarning(lcCodeWindow) << "could not start the installer" << pPath;
        QCoreApplication::exit(0);
    });

    m_settingsWindow = new Velmorant::UiConfigurationWindow(this);
    buildWindow();

    m_instanceServer = std::make_unique<Velmorant::SingleInstanceServer>(this);
    startTimer(500, Qt::CoarseTimer);
}

UiCodeWindow::~UiCodeWindow()
{
    // Ask everything to stop, then wait for everything. The finder's threads
    // call back into this window: it goes before anything else.
    m_machine.requestStop();
    m_serverFinder->requestStop();
    m_downloadThread.requestStop();
    m_machine.waitForStop();
    m_serverFinder->waitForStop();
    m_downloadThread.waitForStop();
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

void UiCodeWindow::focusWidget(const char *pName)
{
    if (QWidget *widget = findWidget(pName))
        widget->setFocus();
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

    connect(this, &UiCodeWindow::internSigServersListChanged, &m_machine, &CodeStateMachine::serversChanged,
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
        qCInfo(lcCodeWindow) << "splash screen gone";
    }
}

void UiCodeWindow::onStateChanged()
{
    applyStatus();
    logStatusChange();
}

void UiCodeWindow::applyStatus()
{
    const CodeStateMachine::Status &status = m_machine.status();
    showWidget("LoaderImage", status.loader);
    showWidget("ButtonConnect", status.connect);
    showWidget("ButtonDoUpdate", status.updateButton);
    showWidget("ButtonDoUpdateText", status.updateButton);
    showWidget("LabelRoom", true);
    setLabelText("LabelRoom", status.room);
    showWidget("LabelUserCount", status.usersVisible);
    setLabelText("LabelUserCount", status.users);

    const CodeStateMachine::UpdateViews &views = m_machine.updateViews();
    if (views.apply) {
        showWidget("LabelUpdateNeeded", views.required);
        showWidget("LabelUpdateExist", !views.required);
    }
    showWidget("ApplyUpdateView", views.apply);
    showWidget("DownloadUpdateView", views.download);
    if (views.error) {
        showWidget("UpdateErrorClientToRecentLabel", views.tooRecent);
        showWidget("UpdateErrorNoUpdateLabel", !views.tooRecent);
    }
    showWidget("UpdateErrorView", views.error);
}

void UiCodeWindow::logStatusChange()
{
    const auto *room = findWidget<QLabel>("LabelRoom");
    const auto *users = findWidget<QLabel>("LabelUserCount");
    const QWidget *connectButton = findWidget("ButtonConnect");
    const QString status =
        QStringLiteral("state=%1 room=\"%2\" users=\"%3\" connect=%4")
            .arg(m_machine.state())
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
    m_machine.setCode(pCode);
}

void UiCodeWindow::timerEvent(QTimerEvent *)
{
    m_machine.poll();
    m_serverFinder->setPaused(!isVisible());
}

void UiCodeWindow::sltButtonUpdateClicked()
{
    m_machine.offerUpdate();
}

void UiCodeWindow::sltDoUpdateValid()
{
    m_machine.acceptUpdate();
}

void UiCodeWindow::sltDoUpdateCancel()
{
    m_machine.cancelUpdate();
}

void UiCodeWindow::sltDownloadUpdateEnded(QString pUpdatePath)
{
    m_machine.downloadEnded(pUpdatePath);
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
    if (m_textbox)
        m_textbox->clearCode();
    m_machine.joined();
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
