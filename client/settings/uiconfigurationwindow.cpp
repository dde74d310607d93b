// SPDX-License-Identifier: GPL-2.0-or-later
#include "uiconfigurationwindow.h"

#include "constants.h"
#include "networkfileimport.h"
#include "platform/platform.h"
#include "settingslog.h"
#include "settingsstore.h"
#include "uicustombutton.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

namespace Velmorant {
namespace {

// Labels that show the translation of their own name; the catalogues give
// the wording in each language.
const char *const kLabelKeys[] = {
    QT_TRANSLATE_NOOP("Velmorant::UiConfigurationWindow", "SelectScreenText"),
    QT_TRANSLATE_NOOP("Velmorant::UiConfigurationWindow", "TitleText"),
    QT_TRANSLATE_NOOP("Velmorant::UiConfigurationWindow", "UserNameText"),
    QT_TRANSLATE_NOOP("Velmorant::UiConfigurationWindow", "CaptureDestinationText"),
    QT_TRANSLATE_NOOP("Velmorant::UiConfigurationWindow", "WidgetOnTopText"),
    QT_TRANSLATE_NOOP("Velmorant::UiConfigurationWindow", "RemoteControlText"),
    QT_TRANSLATE_NOOP("Velmorant::UiConfigurationWindow", "SelectLanguageText"),
};
const char kLanguageChangeWarningKey[] =
    QT_TRANSLATE_NOOP("Velmorant::UiConfigurationWindow", "LanguageChangeWarningText");

const char kCodeWindowDescription[] = "UiConfigurationWindow";
const char kAdvancedWindowDescription[] = "UiConfigurationWindowAdvanced";

void setShown(QWidget *pWidget, bool pShown)
{
    if (pWidget)
        pWidget->setVisible(pShown);
}

} // namespace

const char UiConfigurationWindow::kSwitchOnImage[] = ":/MainWidget/Advanced/reglages_switch_2.svg";
const char UiConfigurationWindow::kSwitchOffImage[] = ":/MainWidget/Advanced/reglages_switch_1.svg";

UiConfigurationWindow::UiConfigurationWindow(QWidget *parent) : UiFreeWindow(parent)
{
    m_activeConfiguration = nullptr;
    m_mode = CodeWindowMode;
    setObjectName(QStringLiteral("VelmorantWidgetForm"));
    setEnabled(true);
    setAcceptDrops(true);

    setWindowName(kCodeWindowDescription);
    m_switchOnImage = QLatin1String(kSwitchOnImage);
    m_switchOffImage = QLatin1String(kSwitchOffImage);
    buildWindow();

    // The read during construction does not count: the first read after it
    // fixes the language in force for this run.
    m_initialLanguageIndex = -1;

    connect(this, &UiConfigurationWindow::closed, this, &UiConfigurationWindow::onConfigurationWindowsClosed);
}

UiConfigurationWindow::~UiConfigurationWindow() = default;

void UiConfigurationWindow::setMode(int pMode)
{
    m_mode = pMode;
    if (pMode == AdvancedWindowMode) {
        m_activeConfiguration = &m_advancedWindowConfiguration;
        setWindowName(kAdvancedWindowDescription);
    } else {
        m_activeConfiguration = &m_codeWindowConfiguration;
        setWindowName(kCodeWindowDescription);
    }
    buildWindow();
}

QWidget *UiConfigurationWindow::createCustomWidget(const WidgetDescription &pDescription, QWidget *pParent)
{
    return UiFreeWindow::createCustomWidget(pDescription, pParent);
}

void UiConfigurationWindow::onWindowBuilt()
{
    m_selectScreen = widget<QComboBox>("SelectScreen");
    fillScreenList();

    m_userName = widget<QLineEdit>("UserName");
    m_captureDestination = widget<QLineEdit>("CaptureDestination");

    m_widgetOnTopButton = widget<UiCustomButton>("WidgetOnTop");
    showSwitch(m_widgetOnTopButton, m_onTop);
    m_remoteControlButton = widget<UiCustomButton>("RemoteControl");
    showSwitch(m_remoteControlButton, m_remoteControl);

    m_selectLanguage = widget<QComboBox>("SelectLanguage");
    if (m_selectLanguage) {
        m_selectLanguage->clear();
        m_selectLanguage->addItem(tr("English"));
        m_selectLanguage->addItem(tr("Francais"));
    }

    m_selectScreenText = widget<QLabel>("SelectScreenText");
    m_titleText = widget<QLabel>("TitleText");
    m_userNameText = widget<QLabel>("UserNameText");
    m_captureDestinationText = widget<QLabel>("CaptureDestinationText");
    m_widgetOnTopText = widget<QLabel>("WidgetOnTopText");
    m_remoteControlText = widget<QLabel>("RemoteControlText");
    m_selectLanguageText = widget<QLabel>("SelectLanguageText");
    for (const char *key : kLabelKeys)
        setTranslatedLabel(widget<QLabel>(key), key);
    if (m_widgetOnTopText)
        m_widgetOnTopText->setWordWrap(true);
    if (m_remoteControlText)
        m_remoteControlText->setWordWrap(true);

    m_languageChangeWarningText = widget<QLabel>(kLanguageChangeWarningKey);
    setTranslatedLabel(m_languageChangeWarningText, kLanguageChangeWarningKey);
    setShown(m_languageChangeWarningText, false);

    if (m_selectLanguage)
        connect(m_selectLanguage.data(), QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &UiConfigurationWindow::stlSelectLanguageIndexChanged);

    // The import widgets of the code-window variant.
    m_networkFileImportText = widget<QLabel>("NetworkFileImportText");
    m_buttonNetworkFileImport = widget<UiCustomButton>("ButtonNetworkFileImport");
    m_buttonNetworkFileImportAdmin = widget<UiCustomButton>("ButtonNetworkFileImportAdmin");
    m_buttonNetworkFileImportAdminText = widget<UiCustomButton>("ButtonNetworkFileImportAdminText");
    m_networkFileImportInfoText = widget<QLabel>("NetworkFileImportInfoText");
    m_networkFileImportAlertText = widget<QLabel>("NetworkFileImportAlertText");
    m_networkFileImportAdminAlertText = widget<QLabel>("NetworkFileImportAdminAlertText");
    if (m_activeConfiguration)
        m_activeConfiguration->apply(this);

    readConfiguration();
}

void UiConfigurationWindow::CodeWindowConfiguration::apply(UiConfigurationWindow *pWindow)
{
    if (pWindow->m_networkFileImportText)
        pWindow->m_networkFileImportText->setText(UiConfigurationWindow::tr("Import the network configuration file"));
    const std::pair<QLabel *, QString> statusTexts[] = {
        {pWindow->m_networkFileImportInfoText, UiConfigurationWindow::tr("File successfully deployed")},
        {pWindow->m_networkFileImportAlertText, UiConfigurationWindow::tr("File failed to deploy")},
        {pWindow->m_networkFileImportAdminAlertText,
         UiConfigurationWindow::tr(
             "File failed to deploy : administrator right required. Restart Velmorant Client in administrator mode ?")},
    };
    for (const auto &[label, text] : statusTexts) {
        if (!label)
            continue;
        label->setText(text);
        label->setWordWrap(true);
        label->hide();
    }
    setShown(pWindow->m_buttonNetworkFileImportAdmin, false);
    if (UiCustomButton *confirm = pWindow->m_buttonNetworkFileImportAdminText) {
        confirm->setButtonText(UiConfigurationWindow::tr("Confirm"));
        confirm->setTextAlignment(Qt::AlignCenter);
        confirm->hide();
    }
}

void UiConfigurationWindow::AdvancedWindowConfiguration::apply(UiConfigurationWindow *pWindow)
{
    setShown(pWindow->m_networkFileImportText, false);
    setShown(pWindow->m_buttonNetworkFileImport, false);
    setShown(pWindow->m_networkFileImportInfoText, false);
    setShown(pWindow->m_networkFileImportAlertText, false);
}

void UiConfigurationWindow::setTranslatedLabel(QLabel *pLabel, const char *pKey)
{
    if (pLabel)
        pLabel->setText(tr(pKey));
}

void UiConfigurationWindow::showSwitch(UiCustomButton *pSwitch, bool pOn)
{
    if (pSwitch)
        pSwitch->setImage(pOn ? m_switchOnImage : m_switchOffImage);
}

int UiConfigurationWindow::languageIndex(const QString &pLanguage)
{
    return pLanguage.toLower().contains(QLatin1String("fr")) ? 1 : 0;
}

void UiConfigurationWindow::readConfiguration()
{
    const SettingsStore store;
    // The store derives and writes the defaults when it cannot open the
    // file; only values that came from a file are shown.
    const bool fromFile = QFile(store.filePath()).open(QIODevice::ReadOnly);
    const ClientSettings settings = store.read();
    if (!fromFile) {
        m_screenId = settings.screenId;
        m_userNameValue = settings.userName;
        m_capturePathValue = settings.capturePath;
        m_onTop = settings.configIsOnTop;
        m_remoteControl = settings.configRemoteControl;
        m_languageValue = settings.language;
        return; // shown by the next build, which reads the file just written
    }
    setScreenId(settings.screenId);
    setUserName(settings.userName);
    setCapturePath(settings.capturePath);
    setOnTop(settings.configIsOnTop);
    setRemoteControlAllowed(settings.configRemoteControl);
    setLanguage(settings.language);
}

void UiConfigurationWindow::writeConfiguration()
{
    ClientSettings settings;
    settings.screenId = m_screenId;
    settings.userName = m_userNameValue;
    settings.capturePath = m_capturePathValue;
    settings.configIsOnTop = m_onTop;
    settings.configRemoteControl = m_remoteControl;
    settings.language = m_languageValue;
    const SettingsStore store;
    if (!store.write(settings))
        qCDebug(lcSettings) << "cannot write" << store.filePath();
}

void UiConfigurationWindow::fillScreenList()
{
    if (!m_selectScreen)
        return;
    m_selectScreen->clear();
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i)
        m_selectScreen->addItem(tr("Screen") + QLatin1Char(' ') + QString::number(i + 1));
    m_selectScreen->setEnabled(true);
}

int UiConfigurationWindow::screenId() const
{
    return m_selectScreen ? m_selectScreen->currentIndex() : -1;
}

QString UiConfigurationWindow::userName() const
{
    return m_userName ? m_userName->text() : QString();
}

QString UiConfigurationWindow::capturePath() const
{
    return m_captureDestination ? m_captureDestination->text() : QString();
}

QString UiConfigurationWindow::language() const
{
    return m_selectLanguage ? m_selectLanguage->currentText() : QString();
}

void UiConfigurationWindow::setScreenId(int pScreenId)
{
    m_screenId = pScreenId;
    if (m_selectScreen)
        m_selectScreen->setCurrentIndex(pScreenId); // an index not listed selects nothing
}

void UiConfigurationWindow::setUserName(const QString &pUserName)
{
    m_userNameValue = pUserName;
    if (m_userName)
        m_userName->setText(pUserName);
}

void UiConfigurationWindow::setCapturePath(const QString &pCapturePath)
{
    m_capturePathValue = pCapturePath;
    if (m_captureDestination)
        m_captureDestination->setText(pCapturePath);
}

void UiConfigurationWindow::setOnTop(bool pOnTop)
{
    m_onTop = pOnTop;
    m_onTopSwitch = pOnTop;
    showSwitch(m_widgetOnTopButton, pOnTop);
}

void UiConfigurationWindow::setRemoteControlAllowed(bool pAllowed)
{
    m_remoteControl = pAllowed;
    m_remoteControlSwitch = pAllowed;
    showSwitch(m_remoteControlButton, pAllowed);
}

void UiConfigurationWindow::setLanguage(const QString &pLanguage)
{
    const int index = languageIndex(pLanguage);
    if (m_initialLanguageIndex == -1)
        m_initialLanguageIndex = index;
    if (m_selectLanguage)
        m_selectLanguage->setCurrentIndex(index);
}

void UiConfigurationWindow::applyOnTop()
{
    setWindowFlag(Qt::WindowStaysOnTopHint, m_onTop);
}

QString UiConfigurationWindow::programDataPath()
{
    const QString path = QString::fromStdWString(Platform::programDataPath());
    if (path.isEmpty())
        qCDebug(lcSettings) << "Failed to get ProgramData path.";
    return path;
}

bool UiConfigurationWindow::canWriteFile(const QString &pPath)
{
    return Platform::canWriteFile(pPath.toStdWString());
}

std::vector<std::wstring> UiConfigurationWindow::relaunchArguments(const QStringList &pArguments)
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

void UiConfigurationWindow::stlButtonCloseClicked()
{
    close();
    emit closed();
}

void UiConfigurationWindow::onConfigurationWindowsClosed()
{
    bool changed = false;
    bool nameChanged = false;
    bool remoteChanged = false;

    if (screenId() != m_screenId) {
        m_screenId = screenId();
        changed = true;
    }
    if (userName() != m_userNameValue) {
        m_userNameValue = userName();
        nameChanged = true;
        changed = true;
    }
    if (capturePath() != m_capturePathValue) {
        m_capturePathValue = capturePath();
        changed = true;
    }
    if (m_onTopSwitch != m_onTop) {
        m_onTop = m_onTopSwitch;
        changed = true;
    }
    if (m_remoteControlSwitch != m_remoteControl) {
        m_remoteControl = m_remoteControlSwitch;
        remoteChanged = true;
        changed = true;
    }
    if (language() != m_languageValue)
        m_languageValue = language();
    else if (!changed)
        return;

    writeConfiguration();
    applyOnTop();
    if (nameChanged)
        emit userNameChanged(m_userNameValue);
    if (remoteChanged)
        emit remoteControlAuthorizationChanged(m_remoteControl);
    emit configurationUpdated();
}

void UiConfigurationWindow::stlButtonWidgetOnTopClicked()
{
    m_onTopSwitch = !m_onTopSwitch;
    showSwitch(m_widgetOnTopButton, m_onTopSwitch);
}

void UiConfigurationWindow::stlButtonRemoteControlClicked()
{
    m_remoteControlSwitch = !m_remoteControlSwitch;
    showSwitch(m_remoteControlButton, m_remoteControlSwitch);
}

void UiConfigurationWindow::stlSelectLanguageIndexChanged(int pIndex)
{
    // The language itself changes at the next start.
    setShown(m_languageChangeWarningText, pIndex != m_initialLanguageIndex);
}

QString UiConfigurationWindow::chooseCaptureDirectory()
{
    return QFileDialog::getExistingDirectory(this, tr("Open Directory"), QStringLiteral("/home"),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

void UiConfigurationWindow::stlButtonCaptureDestinationClicked()
{
    const QString path = chooseCaptureDirectory();
    if (!path.isEmpty() && QDir(path).exists() && m_captureDestination)
        m_captureDestination->setText(path);
}

QString UiConfigurationWindow::chooseNetworkFile()
{
    return QFileDialog::getOpenFileName(this, tr("Choose network file"), QStringLiteral("/home"), tr("JSON (*.json)"));
}

QStringList UiConfigurationWindow::networkFileTargets() const
{
    QStringList targets{QCoreApplication::applicationDirPath() + QDir::separator() + QStringLiteral("network.json")};
    // Without a machine-wide folder there is no second place to try; a
    // relative path would land in whatever the working directory is.
    const QString programData = programDataPath();
    if (!programData.isEmpty())
        targets << programData + QDir::separator() + QStringLiteral("Velmorant Client") + QDir::separator() +
                       QStringLiteral("network.json");
    return targets;
}

void UiConfigurationWindow::stlButtonNetworkFileImportClicked()
{
    const QString source = chooseNetworkFile();
    if (source.isEmpty() || !QFileInfo::exists(source))
        return;

    const NetworkFileImportResult result = importNetworkFile(source, networkFileTargets());
    if (result == NetworkFileImportResult::Deployed) {
        setShown(m_networkFileImportAlertText, false);
        setShown(m_buttonNetworkFileImportAdmin, false);
        setShown(m_networkFileImportAdminAlertText, false);
        setShown(m_buttonNetworkFileImportAdminText, false);
        setShown(m_networkFileImportInfoText, true);
        return;
    }
    setShown(m_networkFileImportInfoText, false);
    const bool administratorRequired = result == NetworkFileImportResult::AdministratorRequired;
    if (administratorRequired) {
        setShown(m_networkFileImportAlertText, false);
        setShown(m_buttonNetworkFileImport, false);
    } else {
        setShown(m_networkFileImportAlertText, true);
    }
    setShown(m_networkFileImportAdminAlertText, administratorRequired);
    setShown(m_buttonNetworkFileImportAdmin, administratorRequired);
    setShown(m_buttonNetworkFileImportAdminText, administratorRequired);
}

void UiConfigurationWindow::stlButtonNetworkFileImportAdminClicked()
{
    const std::wstring program = QCoreApplication::applicationFilePath().toStdWString();
    const std::vector<std::wstring> arguments = relaunchArguments(QCoreApplication::arguments());
    switch (Platform::relaunchElevated(program, arguments)) {
    case Platform::ElevationResult::Started:
        qCInfo(lcSettings) << "relaunched with administrator rights; leaving";
        QCoreApplication::exit(0);
        break;
    case Platform::ElevationResult::Cancelled:
        QMessageBox::warning(this, tr("Permission Required"),
                             tr("Administrative privileges are required to perform this action."), QMessageBox::Ok);
        break;
    case Platform::ElevationResult::Failed:
        QMessageBox::critical(this, tr("Error"), tr("An error occurred while attempting to elevate privileges."),
                              QMessageBox::Ok);
        break;
    }
}

} // namespace Velmorant
