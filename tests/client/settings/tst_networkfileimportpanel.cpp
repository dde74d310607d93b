// SPDX-License-Identifier: GPL-2.0-or-later
// The import controls: the targets offered, which messages each outcome
// shows, and the panel over both settings window descriptions (the session
// variant has none of the import controls).
#include "networkfileimportpanel.h"
#include "uicustombutton.h"
#include "uifreewindow.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

using Velmorant::NetworkFileImportPanel;
using Velmorant::NetworkFileImportResult;

Q_DECLARE_METATYPE(NetworkFileImportResult)

namespace {

const char *const kMessages[] = {"NetworkFileImportInfoText", "NetworkFileImportAlertText",
                                 "NetworkFileImportAdminAlertText", "ButtonNetworkFileImportAdmin",
                                 "ButtonNetworkFileImportAdminText"};

QStringList shownControls(const UiFreeWindow &pWindow)
{
    QStringList shown;
    for (const char *name : kMessages) {
        if (!pWindow.findWidget(name)->isHidden())
            shown << QLatin1String(name);
    }
    if (!pWindow.findWidget("ButtonNetworkFileImport")->isHidden())
        shown << QStringLiteral("ButtonNetworkFileImport");
    return shown;
}

} // namespace

class TestNetworkFileImportPanel : public QObject {
    Q_OBJECT
    const QString m_startDir = QDir::currentPath();
    QTemporaryDir m_dir;

private slots:
    // The free window reads Resources/windows.json of the working directory.
    void initTestCase()
    {
        const QString description = m_dir.filePath(QStringLiteral("Resources/windows.json"));
        QVERIFY(QDir().mkpath(QFileInfo(description).path()));
        QVERIFY(QFile::copy(QStringLiteral(SETTINGS_FIXTURE), description));
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(m_startDir); }

    void targets_data()
    {
        QTest::addColumn<QString>("programData");
        QTest::addColumn<QStringList>("expected");
        const QString sep = QDir::separator();
        QTest::newRow("both") << "/usr/share"
                              << QStringList{"/opt/v" + sep + "network.json",
                                             "/usr/share" + sep + "Velmorant Client" + sep + "network.json"};
        QTest::newRow("no machine folder") << QString() << QStringList{"/opt/v" + sep + "network.json"};
    }
    void targets()
    {
        QFETCH(QString, programData);
        QFETCH(QStringList, expected);
        QCOMPARE(Velmorant::networkFileTargets(QStringLiteral("/opt/v"), programData), expected);
    }

    void outcomes_data()
    {
        QTest::addColumn<NetworkFileImportResult>("result");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("deployed") << NetworkFileImportResult::Deployed
                                  << QStringList{"NetworkFileImportInfoText", "ButtonNetworkFileImport"};
        QTest::newRow("failed") << NetworkFileImportResult::Failed
                                << QStringList{"NetworkFileImportAlertText", "ButtonNetworkFileImport"};
        QTest::newRow("administrator required")
            << NetworkFileImportResult::AdministratorRequired
            << QStringList{"NetworkFileImportAdminAlertText", "ButtonNetworkFileImportAdmin",
                           "ButtonNetworkFileImportAdminText"};
    }
    void outcomes()
    {
        QFETCH(NetworkFileImportResult, result);
        QFETCH(QStringList, shown);
        UiFreeWindow window;
        window.setWindowName("UiConfigurationWindow");
        window.buildWindow();
        NetworkFileImportPanel panel;
        panel.bind(window);
        panel.prepare();
        QCOMPARE(shownControls(window), QStringList{"ButtonNetworkFileImport"});
        QCOMPARE(window.findWidget<QLabel>("NetworkFileImportText")->text(),
                 QStringLiteral("Import the network configuration file"));
        QCOMPARE(window.findWidget<UiCustomButton>("ButtonNetworkFileImportAdminText")->buttonText(),
                 QStringLiteral("Confirm"));
        QVERIFY(window.findWidget<QLabel>("NetworkFileImportAdminAlertText")->wordWrap());

        // A second import replaces what the first one showed.
        const NetworkFileImportResult other = result == NetworkFileImportResult::Failed
                                                  ? NetworkFileImportResult::Deployed
                                                  : NetworkFileImportResult::Failed;
        panel.showResult(other);
        panel.showResult(result);
        QCOMPARE(shownControls(window), shown);
    }

    void sessionVariantHasNothingToShow()
    {
        UiFreeWindow window;
        window.setWindowName("UiConfigurationWindowAdvanced");
        window.buildWindow();
        NetworkFileImportPanel panel;
        panel.bind(window);
        panel.prepare();
        panel.hide();
        panel.showResult(NetworkFileImportResult::AdministratorRequired);
        QVERIFY(!window.findWidget("ButtonNetworkFileImport"));
    }

    void hideTakesTheImportAway()
    {
        UiFreeWindow window;
        window.setWindowName("UiConfigurationWindow");
        window.buildWindow();
        NetworkFileImportPanel panel;
        panel.bind(window);
        panel.hide();
        for (const char *name : {"NetworkFileImportText", "ButtonNetworkFileImport", "NetworkFileImportInfoText",
                                 "NetworkFileImportAlertText"})
            QVERIFY2(window.findWidget(name)->isHidden(), name);
    }

    void rebuildingDropsTheOldControls()
    {
        UiFreeWindow window;
        window.setWindowName("UiConfigurationWindow");
        window.buildWindow();
        NetworkFileImportPanel panel;
        panel.bind(window);
        window.buildWindow(); // the old controls go away later
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        panel.showResult(NetworkFileImportResult::Deployed); // must not touch them
        panel.bind(window);
        panel.showResult(NetworkFileImportResult::Deployed);
        QVERIFY(!window.findWidget("NetworkFileImportInfoText")->isHidden());
    }
};

QTEST_MAIN(TestNetworkFileImportPanel)
#include "tst_networkfileimportpanel.moc"
