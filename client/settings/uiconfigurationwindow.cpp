// SPDX-License-Identifier: GPL-2.0-or-later
#include "uiconfigurationwindow.h"

#include "elevatedrelaunch.h"
#include "uicustombutton.h"
#include "writeprobe.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

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
    setObjectName(QStringLiteral("VelmorantWidgetForm"));
    setEnabled(true);
    setAcceptDrops(true);

    setWindowName(kCodeWindowDescription);
    buildWindow();

    // The read during construction does not count: the first read after it
    // fixes the language in force for this run.
    m_languageChoice.forget();

    connect(this, &UiConfigurationWindow::closed, this, &UiConfigurationWindow::onConfigurationWindowsClosed);
}

UiConfigurationWindow::~UiConfigurationWindow() = default;

void UiConfigurationWindow::setMode(int pMode)
{
    m_mode = pMode;
    m_modeChosen = true;
    setWindowName(pMode == AdvancedWindowMode ? kAdvancedWindowDescription : kCodeWindowDescription);
    buildWindow();
}

void UiConfigurationWindow::onWindowBuilt()
{
    m_selectScreen = widget<QComboBox>("SelectScreen");
    fillScreenList();

    m_userName = widget<QLineEdit>("UserName");
    m_captureDestination = widget<QLineEdit>("CaptureDestination");

    m_widgetOnTopButton = widget<UiCustomButton>("WidgetOnTop");
    showSwitch(m_widgetOnTopButton, isOnTop());
    m_remoteControlButton = widget<UiCustomButton>("RemoteControl");
    showSwitch(m_remoteControlButton, remoteControlAllowed());

    m_selectLanguage = widget<QComboBox>("SelectLanguage");
    if (m_selectLanguage) {
        m_selectLanguage->clear();
        m_selectLanguage->addItem(tr("English"));
        m_selectLanguage->addItem(tr("Francais"));
    }

    for (const char *key : kLabelKeys) {
        if (auto *label = widget<QLabel>(key))
            label->setText(tr(key));
    }
    for (const char *name : {"WidgetOnTopText", "RemoteControlText"}) {
        if (auto *label = widget<QLabel>(name))
            label->setWordWrap(true);
    }

    m_languageChangeWarningText = widget<QLabel>(kLanguageChangeWarningKey);
    if (m_languageChangeWarningText) {
        m_languageChangeWarningText->setText(tr(kLanguageChangeWarningKey));
        m_languageChangeWarningText->hide();
    }

    if (m_selectLanguage)
        connect(m_selectLanguage.data(), QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &UiConfigurationWindow::stlSelectLanguageIndexChanged);

    m_importPanel.bind(*this);
    if (m_modeChosen) {
        if (m_mode == AdvancedWindowMode)
            m_importPanel.hide();
        else
            m_importPanel.prepare();
    }

    readConfiguration();
}

void UiConfigurationWindow::showSwitch(UiCustomButton *pSwitch, bool pOn)
{
    if (pSwitch)
        pSwitch->setImage(QLatin1String(pOn ? kSwitchOnImage : kSwitchOffImage));
}

void UiConfigurationWindow::readConfiguration()
{
    // Only a save changes the language text compared on closing, so the
    // first close after a start always writes the entry's text.
    const QString comparedLanguage = m_saved.values().language;
    // Values derived because there was no file are shown by the next build,
    // which reads the file just written.
    if (!m_saved.load())
        return;
    const ClientSettings settings = m_saved.values();
    m_saved.values().language = comparedLanguage;
    setScreenId(settings.screenId);
    setUserName(settings.userName);
    setCapturePath(settings.capturePath);
    setOnTop(settings.configIsOnTop);
    setRemoteControlAllowed(settings.configRemoteControl);
    setLanguage(settings.language);
}

void UiConfigurationWindow::writeConfiguration()
{
    m_saved.save();
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
    m_saved.values().screenId = pScreenId;
    if (m_selectScreen)
        m_selectScreen->setCurrentIndex(pScreenId); // an index not listed selects nothing
}

void UiConfigurationWindow::setUserName(const QString &pUserName)
{
    m_saved.values().userName = pUserName;
    if (m_userName)
        m_userName->setText(pUserName);
}

void UiConfigurationWindow::setCapturePath(const QString &pCapturePath)
{
    m_saved.values().capturePath = pCapturePath;
    if (m_captureDestination)
        m_captureDestination->setText(pCapturePath);
}

void UiConfigurationWindow::setOnTop(bool pOnTop)
{
    m_saved.values().configIsOnTop = pOnTop;
    m_onTopSwitch = pOnTop;
    showSwitch(m_widgetOnTopButton, pOnTop);
}

void UiConfigurationWindow::setRemoteControlAllowed(bool pAllowed)
{
    m_saved.values().configRemoteControl = pAllowed;
    m_remoteControlSwitch = pAllowed;
    showSwitch(m_remoteControlButton, pAllowed);
}

void UiConfigurationWindow::setLanguage(const QString &pLanguage)
{
    const int index = LanguageChoice::indexOf(pLanguage);
    m_languageChoice.shown(index);
    if (m_selectLanguage)
        m_selectLanguage->setCurrentIndex(index);
}

void UiConfigurationWindow::applyOnTop()
{
    setWindowFlag(Qt::WindowStaysOnTopHint, isOnTop());
}

QString UiConfigurationWindow::programDataPath()
{
    return WriteProbe::programDataPath();
}

bool UiConfigurationWindow::canWriteFile(const QString &pPath)
{
    return WriteProbe::canWrite(pPath);
}

std::vector<std::wstring> UiConfigurationWindow::relaunchArguments(const QStringList &pArguments)
{
    return ElevatedRelaunch::arguments(pArguments);
}

void UiConfigurationWindow::stlButtonCloseClicked()
{
    close();
    emit closed();
}

void UiConfigurationWindow::onConfigurationWindowsClosed()
{
    ClientSettings edited;
    edited.screenId = screenId();
    edited.userName = userName();
    edited.capturePath = capturePath();
    edited.configIsOnTop = m_onTopSwitch;
    edited.configRemoteControl = m_remoteControlSwitch;
    edited.language = language();
    const SettingsChange change = m_saved.take(edited);
    if (!change.any)
        return;

    writeConfiguration();
    applyOnTop();
    if (change.userName)
        emit userNameChanged(userName());
    if (change.remoteControl)
        emit remoteControlAuthorizationChanged(remoteControlAllowed());
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
    setShown(m_languageChangeWarningText, m_languageChoice.needsRestart(pIndex));
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
    return Velmorant::networkFileTargets(QCoreApplication::applicationDirPath(), programDataPath());
}

void UiConfigurationWindow::stlButtonNetworkFileImportClicked()
{
    const QString source = chooseNetworkFile();
    if (source.isEmpty() || !QFileInfo::exists(source))
        return;

    m_importPanel.showResult(importNetworkFile(source, networkFileTargets()));
}

void UiConfigurationWindow::stlButtonNetworkFileImportAdminClicked()
{
    switch (ElevatedRelaunch::ofThisProcess().start()) {
    case Platform::ElevationResult::Started:
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
