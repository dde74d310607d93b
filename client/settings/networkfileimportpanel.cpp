// SPDX-License-Identifier: GPL-2.0-or-later
#include "networkfileimportpanel.h"

#include "uicustombutton.h"
#include "uifreewindow.h"

#include <QCoreApplication>
#include <QLabel>

// The texts are translated under the settings window's name, which is where
// the catalogues keep them.

namespace Velmorant {
namespace {

void setShown(QWidget *pWidget, bool pShown)
{
    if (pWidget)
        pWidget->setVisible(pShown);
}

} // namespace

void NetworkFileImportPanel::bind(const UiFreeWindow &pWindow)
{
    m_title = pWindow.findWidget<QLabel>("NetworkFileImportText");
    m_importButton = pWindow.findWidget<UiCustomButton>("ButtonNetworkFileImport");
    m_relaunchButton = pWindow.findWidget<UiCustomButton>("ButtonNetworkFileImportAdmin");
    m_relaunchTextButton = pWindow.findWidget<UiCustomButton>("ButtonNetworkFileImportAdminText");
    m_deployedText = pWindow.findWidget<QLabel>("NetworkFileImportInfoText");
    m_failedText = pWindow.findWidget<QLabel>("NetworkFileImportAlertText");
    m_administratorText = pWindow.findWidget<QLabel>("NetworkFileImportAdminAlertText");
}

void NetworkFileImportPanel::prepare()
{
    if (m_title)
        m_title->setText(
            QCoreApplication::translate("Velmorant::UiConfigurationWindow", "Import the network configuration file"));
    const std::pair<QLabel *, QString> statusTexts[] = {
        {m_deployedText, QCoreApplication::translate("Velmorant::UiConfigurationWindow", "File successfully deployed")},
        {m_failedText, QCoreApplication::translate("Velmorant::UiConfigurationWindow", "File failed to deploy")},
        {m_administratorText,
         QCoreApplication::translate(
             "Velmorant::UiConfigurationWindow",
             "File failed to deploy : administrator right required. Restart Velmorant Client in administrator mode ?")},
    };
    for (const auto &[label, text] : statusTexts) {
        if (!label)
            continue;
        label->setText(text);
        label->setWordWrap(true);
        label->hide();
    }
    setShown(m_relaunchButton, false);
    if (UiCustomButton *confirm = m_relaunchTextButton) {
        confirm->setButtonText(QCoreApplication::translate("Velmorant::UiConfigurationWindow", "Confirm"));
        confirm->setTextAlignment(Qt::AlignCenter);
        confirm->hide();
    }
}

void NetworkFileImportPanel::hide()
{
    setShown(m_title, false);
    setShown(m_importButton, false);
    setShown(m_deployedText, false);
    setShown(m_failedText, false);
}

void NetworkFileImportPanel::showResult(NetworkFileImportResult pResult)
{
    const NetworkFileImportDisplay display = networkFileImportDisplay(pResult);
    setShown(m_deployedText, display.deployed);
    setShown(m_failedText, display.failed);
    setShown(m_administratorText, display.administratorNeeded);
    setShown(m_relaunchButton, display.administratorNeeded);
    setShown(m_relaunchTextButton, display.administratorNeeded);
    if (display.hideImportButton)
        setShown(m_importButton, false);
}

} // namespace Velmorant
