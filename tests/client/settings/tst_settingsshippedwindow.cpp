// SPDX-License-Identifier: GPL-2.0-or-later
// The settings window built from the shipped description and artwork: every
// widget the window drives exists with its kind in both variants, the
// labels show the French catalogue's wording, and both variants (plus the
// import's administrator state) are rendered to PNG files for a look:
// $VELMORANT_BUILD_DIR/screenshots/settings-*.png.
#include "settingsstore.h"
#include "uiconfigurationwindow.h"
#include "uicustombutton.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using Velmorant::UiConfigurationWindow;

class TestSettingsShippedWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QTranslator m_translator;

    static void save(QWidget &pWindow, const QString &pName)
    {
        const QString folder = qEnvironmentVariable("VELMORANT_BUILD_DIR", QDir::tempPath()) + "/screenshots";
        QDir().mkpath(folder);
        const QString file = folder + "/" + pName + ".png";
        QVERIFY2(pWindow.grab().save(file), qPrintable(file));
        qInfo("screenshot %s", qPrintable(file));
    }

    static void checkWidgets(UiConfigurationWindow &pWindow, bool pImport)
    {
        const char *const labels[] = {
            "TitleText",       "SelectScreenText",  "UserNameText",       "CaptureDestinationText",
            "WidgetOnTopText", "RemoteControlText", "SelectLanguageText", "LanguageChangeWarningText"};
        for (const char *name : labels)
            QVERIFY2(pWindow.findWidget<QLabel>(name), name);
        for (const char *name : {"SelectScreen", "SelectLanguage"})
            QVERIFY2(pWindow.findWidget<QComboBox>(name), name);
        for (const char *name : {"UserName", "CaptureDestination"})
            QVERIFY2(pWindow.findWidget<QLineEdit>(name), name);
        for (const char *name : {"CloseButton", "ButtonCaptureDestination", "WidgetOnTop", "RemoteControl"})
            QVERIFY2(pWindow.findWidget<UiCustomButton>(name), name);
        const char *const import[] = {"NetworkFileImportText", "NetworkFileImportInfoText",
                                      "NetworkFileImportAlertText", "NetworkFileImportAdminAlertText"};
        const char *const importButtons[] = {"ButtonNetworkFileImport", "ButtonNetworkFileImportAdmin",
                                             "ButtonNetworkFileImportAdminText"};
        for (const char *name : import)
            QVERIFY2(bool(pWindow.findWidget<QLabel>(name)) == pImport, name);
        for (const char *name : importButtons)
            QVERIFY2(bool(pWindow.findWidget<UiCustomButton>(name)) == pImport, name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path())); // no Resources/windows.json here: the shipped one
        QVERIFY(QFile::exists(":/MainWidget/windows.json"));
        QFontDatabase::addApplicationFont(":/MainWidget/Muli-Regular.ttf");
        const QString catalogue = qEnvironmentVariable("VELMORANT_BUILD_DIR") + "/bin/languages/velmorantclient_fr.qm";
        QVERIFY2(m_translator.load(catalogue), qPrintable(catalogue));
        QCoreApplication::installTranslator(&m_translator);

        QDir().mkpath(m_dir.filePath("Captures"));
        Velmorant::ClientSettings settings;
        settings.userName = QStringLiteral("Salle Ada Lovelace");
        settings.capturePath = m_dir.filePath("Captures");
        settings.configRemoteControl = true;
        settings.language = QStringLiteral("Français");
        const QString file = Velmorant::settingsFilePath();
        QDir().mkpath(QFileInfo(file).absolutePath());
        QVERIFY(Velmorant::SettingsStore(file).write(settings));
    }

    void bothVariants()
    {
        UiConfigurationWindow window;
        window.setMode(1);
        checkWidgets(window, true);
        QCOMPARE(window.findWidget<QLabel>("TitleText")->text(), QStringLiteral("Réglages"));
        QCOMPARE(window.findWidget<QComboBox>("SelectLanguage")->currentText(), QStringLiteral("Français"));
        for (const char *name : {"WidgetOnTop", "RemoteControl"})
            QVERIFY2(QFile::exists(window.findWidget<UiCustomButton>(name)->currentImage()), name);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        save(window, "settings-code-window");

        // The import's administrator state and the language warning.
        for (const char *name :
             {"NetworkFileImportAdminAlertText", "ButtonNetworkFileImportAdmin", "ButtonNetworkFileImportAdminText"})
            window.findWidget(name)->show();
        window.findWidget("ButtonNetworkFileImport")->hide();
        window.findWidget<QComboBox>("SelectLanguage")->setCurrentIndex(0);
        QVERIFY(window.findWidget("LanguageChangeWarningText")->isVisible());
        save(window, "settings-code-window-admin");

        window.hide(); // rebuilt while hidden, as the code window does
        window.setMode(2);
        checkWidgets(window, false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(496, 736));
        save(window, "settings-session-window");
    }
};

QTEST_MAIN(TestSettingsShippedWindow)
#include "tst_settingsshippedwindow.moc"
