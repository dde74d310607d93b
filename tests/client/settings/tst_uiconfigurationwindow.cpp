// SPDX-License-Identifier: GPL-2.0-or-later
// The settings window against a small description of both variants (put in
// place as Resources/windows.json of the working directory): reading and
// saving config.json, the signals of a close and their order, switches, the
// language warning, the folder dialog, the network file import with
// unwritable targets, and the elevated relaunch through a fake pkexec.
// Runs as root in CI, so "unwritable" targets are made of paths that no
// one can create: a directory in place of the file, or a parent that is a
// regular file.
#include "constants.h"
#include "networkfileimport.h"
#include "settingsstore.h"
#include "uiconfigurationwindow.h"
#include "uicustombutton.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

using Velmorant::ClientSettings;
using Velmorant::UiConfigurationWindow;

namespace {

void writeFile(const QString &pPath, const QByteArray &pContent)
{
    QDir().mkpath(QFileInfo(pPath).absolutePath());
    QFile file(pPath);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(pPath));
    file.write(pContent);
}

QByteArray readFile(const QString &pPath)
{
    QFile file(pPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Not indented, so any rewrite by the window shows in the bytes.
QByteArray compactJson(const ClientSettings &pSettings)
{
    return QJsonDocument::fromJson(Velmorant::settingsToJson(pSettings)).toJson(QJsonDocument::Compact);
}

// Closes the next application-modal message box and remembers it.
class MessageBoxCatcher : public QObject {
public:
    MessageBoxCatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            ++count;
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->done(QMessageBox::Ok);
        });
        m_timer.start(20);
    }
    int count = 0;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

private:
    QTimer m_timer;
};

} // namespace

// The window with its dialogs and first import target replaced.
class TestableWindow : public UiConfigurationWindow {
public:
    QStringList targets() const { return networkFileTargets(); }
    QString directoryAnswer;
    QString fileAnswer;
    QString firstTarget; // empty: the program's folder, as shipped

protected:
    QString chooseCaptureDirectory() override { return directoryAnswer; }
    QString chooseNetworkFile() override { return fileAnswer; }
    QStringList networkFileTargets() const override
    {
        QStringList targets = UiConfigurationWindow::networkFileTargets();
        if (!firstTarget.isEmpty())
            targets[0] = firstTarget;
        return targets;
    }
};

class TestUiConfigurationWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    ClientSettings m_settings; // what init() writes to config.json

    QString path(const QString &pRelative) const { return m_dir.filePath(pRelative); }
    QString machineTarget() const { return path("machine/Velmorant Client/network.json"); }

    template <class T> static T *find(UiConfigurationWindow &pWindow, const char *pName)
    {
        T *widget = pWindow.findWidget<T>(pName);
        if (!widget)
            qWarning("no widget %s", pName);
        return widget;
    }
    static void click(UiConfigurationWindow &pWindow, const char *pButton)
    {
        UiCustomButton *button = find<UiCustomButton>(pWindow, pButton);
        QVERIFY(button);
        button->emitClicked();
    }
    // Records the close signals in the order they come.
    static QStringList *recordSignals(UiConfigurationWindow &pWindow)
    {
        auto *log = new QStringList;
        QObject::connect(&pWindow, &UiConfigurationWindow::destroyed, [log] { delete log; });
        QObject::connect(&pWindow, &UiConfigurationWindow::userNameChanged,
                         [log](const QString &pName) { *log << "userNameChanged " + pName; });
        QObject::connect(&pWindow, &UiConfigurationWindow::remoteControlAuthorizationChanged, [log](bool pAllowed) {
            *log << QString("remoteControlAuthorizationChanged %1").arg(pAllowed);
        });
        QObject::connect(&pWindow, &UiConfigurationWindow::configurationUpdated,
                         [log] { *log << "configurationUpdated"; });
        return log;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        // Closing a message box must not end the test's event loop.
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(QFile::copy(QStringLiteral(SETTINGS_FIXTURE), path("Resources/windows.json")) ||
                (QDir().mkpath(path("Resources")) &&
                 QFile::copy(QStringLiteral(SETTINGS_FIXTURE), path("Resources/windows.json"))));
        QDir().mkpath(path("pictures"));

        // A pkexec that records its arguments and answers with a chosen status.
        QDir().mkpath(path("fakebin"));
        writeFile(path("fakebin/pkexec"), "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$FAKE_PKEXEC_RECORD\"\n"
                                          "exit \"$FAKE_PKEXEC_STATUS\"\n");
        QFile::setPermissions(path("fakebin/pkexec"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", path("fakebin").toLocal8Bit() + ':' + qgetenv("PATH"));
        qputenv("FAKE_PKEXEC_RECORD", path("pkexec-args.txt").toLocal8Bit());
    }

    void init()
    {
        // The machine-wide data folder (second import target) is ours.
        qputenv("XDG_DATA_DIRS", path("machine").toLocal8Bit());
        m_settings.screenId = 0;
        m_settings.userName = QStringLiteral("Ada");
        m_settings.capturePath = path("pictures");
        m_settings.configIsOnTop = false;
        m_settings.configRemoteControl = true;
        m_settings.language = QStringLiteral("English");
        writeFile(Velmorant::settingsFilePath(), compactJson(m_settings));
    }

    void constructionWithoutFileWritesDefaults()
    {
        QFile::remove(Velmorant::settingsFilePath());
        UiConfigurationWindow window;
        const ClientSettings written = Velmorant::settingsFromJson(readFile(Velmorant::settingsFilePath()));
        QCOMPARE(written, Velmorant::defaultSettings());
        // The controls wait for the next build; that build shows the file.
        QCOMPARE(window.userName(), QString());
        window.setMode(1);
        QCOMPARE(window.userName(), Velmorant::defaultSettings().userName);
        QCOMPARE(window.language(), QStringLiteral("Francais"));
        QVERIFY(window.remoteControlAllowed());
    }

    void buildShowsTheFile()
    {
        m_settings.configIsOnTop = true;
        m_settings.configRemoteControl = false;
        m_settings.screenId = 0;
        writeFile(Velmorant::settingsFilePath(), compactJson(m_settings));
        UiConfigurationWindow window;
        window.setMode(1);
        QCOMPARE(window.screenId(), 0);
        QCOMPARE(find<QComboBox>(window, "SelectScreen")->itemText(0), QStringLiteral("Screen 1"));
        QCOMPARE(window.userName(), QStringLiteral("Ada"));
        QCOMPARE(window.capturePath(), path("pictures"));
        QVERIFY(window.isOnTop());
        QVERIFY(!window.remoteControlAllowed());
        QCOMPARE(window.language(), QStringLiteral("English"));
        QCOMPARE(find<UiCustomButton>(window, "WidgetOnTop")->currentImage(),
                 QLatin1String(UiConfigurationWindow::kSwitchOnImage));
        QCOMPARE(find<UiCustomButton>(window, "RemoteControl")->currentImage(),
                 QLatin1String(UiConfigurationWindow::kSwitchOffImage));
        QCOMPARE(find<QLabel>(window, "TitleText")->text(), QStringLiteral("TitleText")); // no catalogue loaded
        QVERIFY(find<QLabel>(window, "LanguageChangeWarningText")->isHidden());

        // A screen the machine no longer has selects nothing.
        window.setScreenId(3);
        QCOMPARE(window.screenId(), -1);
    }

    void variants()
    {
        UiConfigurationWindow window;
        window.setMode(2);
        QCOMPARE(window.mode(), 2);
        QCOMPARE(window.size(), QSize(496, 736));
        QVERIFY(!window.findWidget("ButtonNetworkFileImport"));
        QCOMPARE(window.userName(), QStringLiteral("Ada"));

        window.setMode(1);
        QCOMPARE(window.size(), QSize(500, 896));
        QVERIFY(!find<UiCustomButton>(window, "ButtonNetworkFileImport")->isHidden());
        QCOMPARE(find<QLabel>(window, "NetworkFileImportText")->text(),
                 QStringLiteral("Import the network configuration file"));
        for (const char *hidden :
             {"NetworkFileImportInfoText", "NetworkFileImportAlertText", "NetworkFileImportAdminAlertText",
              "ButtonNetworkFileImportAdmin", "ButtonNetworkFileImportAdminText"})
            QVERIFY2(window.findWidget(hidden)->isHidden(), hidden);
        QCOMPARE(find<UiCustomButton>(window, "ButtonNetworkFileImportAdminText")->buttonText(),
                 QStringLiteral("Confirm"));
    }

    void firstCloseWritesOnceAndEmitsOnlyConfigurationUpdated()
    {
        UiConfigurationWindow window;
        window.setMode(1);
        QStringList *log = recordSignals(window);
        click(window, "CloseButton");
        QCOMPARE(*log, QStringList{"configurationUpdated"});
        QCOMPARE(readFile(Velmorant::settingsFilePath()), Velmorant::settingsToJson(m_settings));

        // Nothing changed since that save: a second close neither writes nor tells.
        writeFile(Velmorant::settingsFilePath(), "marker");
        log->clear();
        click(window, "CloseButton");
        QCOMPARE(*log, QStringList());
        QCOMPARE(readFile(Velmorant::settingsFilePath()), QByteArray("marker"));
    }

    void closeSignals_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing") << "" << QStringList();
        QTest::newRow("name") << "name" << QStringList{"userNameChanged Grace", "configurationUpdated"};
        QTest::newRow("remote control twice") << "remote remote" << QStringList();
        QTest::newRow("remote control once")
            << "remote" << QStringList{"remoteControlAuthorizationChanged 0", "configurationUpdated"};
        QTest::newRow("name and remote control")
            << "name remote"
            << QStringList{"userNameChanged Grace", "remoteControlAuthorizationChanged 0", "configurationUpdated"};
        QTest::newRow("on top") << "ontop" << QStringList{"configurationUpdated"};
        QTest::newRow("language") << "french" << QStringList{"configurationUpdated"};
        QTest::newRow("name, closed otherwise") << "name other" << QStringList();
    }

    void closeSignals()
    {
        QFETCH(QString, action);
        QFETCH(QStringList, expected);
        UiConfigurationWindow window;
        window.setMode(1);
        click(window, "CloseButton"); // the first close of a run always saves
        QStringList *log = recordSignals(window);
        writeFile(Velmorant::settingsFilePath(), "marker");

        const QStringList steps = action.split(' ', Qt::SkipEmptyParts);
        for (const QString &step : steps) {
            if (step == "name")
                find<QLineEdit>(window, "UserName")->setText("Grace");
            else if (step == "remote")
                click(window, "RemoteControl");
            else if (step == "ontop")
                click(window, "WidgetOnTop");
            else if (step == "french")
                find<QComboBox>(window, "SelectLanguage")->setCurrentIndex(1);
        }
        if (steps.contains("other"))
            window.close();
        else
            click(window, "CloseButton");

        QCOMPARE(*log, expected);
        const QByteArray file = readFile(Velmorant::settingsFilePath());
        if (expected.isEmpty()) {
            QCOMPARE(file, QByteArray("marker"));
            return;
        }
        ClientSettings saved = m_settings;
        if (steps.contains("name"))
            saved.userName = "Grace";
        if (steps.count("remote") % 2)
            saved.configRemoteControl = false;
        if (steps.contains("ontop"))
            saved.configIsOnTop = true;
        if (steps.contains("french"))
            saved.language = "Francais";
        QCOMPARE(Velmorant::settingsFromJson(file), saved);
        QCOMPARE(window.userName(), saved.userName);
        QCOMPARE(window.remoteControlAllowed(), saved.configRemoteControl);
        QCOMPARE(window.isOnTop(), saved.configIsOnTop);
        QCOMPARE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint), saved.configIsOnTop);
    }

    void switchesShowTheirState()
    {
        UiConfigurationWindow window;
        window.setMode(1);
        UiCustomButton *remote = find<UiCustomButton>(window, "RemoteControl");
        const QString on = QLatin1String(UiConfigurationWindow::kSwitchOnImage);
        const QString off = QLatin1String(UiConfigurationWindow::kSwitchOffImage);
        QCOMPARE(remote->currentImage(), on);
        click(window, "RemoteControl");
        QCOMPARE(remote->currentImage(), off);
        QVERIFY(window.remoteControlAllowed()); // stored only on closing
        click(window, "RemoteControl");
        QCOMPARE(remote->currentImage(), on);
        window.setRemoteControlAllowed(false);
        QCOMPARE(remote->currentImage(), off);
        QVERIFY(!window.remoteControlAllowed());
    }

    void languageWarningShowsAndHides()
    {
        UiConfigurationWindow window; // English run
        window.setMode(1);
        QComboBox *language = find<QComboBox>(window, "SelectLanguage");
        QLabel *warning = find<QLabel>(window, "LanguageChangeWarningText");
        QCOMPARE(language->count(), 2);
        QCOMPARE(language->itemText(1), QStringLiteral("Francais"));
        QVERIFY(warning->isHidden());
        language->setCurrentIndex(1);
        QVERIFY(!warning->isHidden());
        language->setCurrentIndex(0);
        QVERIFY(warning->isHidden());

        // The language in force stays the one of the first read, even after
        // French is saved and the window is built again.
        language->setCurrentIndex(1);
        click(window, "CloseButton");
        window.setMode(2);
        language = find<QComboBox>(window, "SelectLanguage");
        warning = find<QLabel>(window, "LanguageChangeWarningText");
        QCOMPARE(language->currentIndex(), 1);
        QVERIFY(!warning->isHidden());
    }

    void captureFolderDialog_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("taken");
        QTest::newRow("existing folder") << "elsewhere" << true;
        QTest::newRow("missing folder") << "missing" << false;
        QTest::newRow("cancelled") << "" << false;
    }

    void captureFolderDialog()
    {
        QFETCH(QString, answer);
        QFETCH(bool, taken);
        QDir().mkpath(path("elsewhere"));
        TestableWindow window;
        window.setMode(1);
        window.directoryAnswer = answer.isEmpty() ? QString() : path(answer);
        click(window, "ButtonCaptureDestination");
        QCOMPARE(window.capturePath(), taken ? path(answer) : path("pictures"));
    }

    void networkFileImport_data()
    {
        QTest::addColumn<QString>("first");   // "writable" or "directory" (a folder where the file goes)
        QTest::addColumn<QString>("machine"); // "writable" or "under-file" (its parent is a regular file)
        QTest::addColumn<QString>("source");  // "file" or "directory" (cannot be read)
        QTest::addColumn<QString>("landsIn"); // "first", "machine" or ""
        QTest::addColumn<QStringList>("shown");

        const QStringList success{"NetworkFileImportInfoText", "ButtonNetworkFileImport"};
        QTest::newRow("first target writable") << "writable"
                                               << "writable"
                                               << "file"
                                               << "first" << success;
        QTest::newRow("first target read-only") << "directory"
                                                << "writable"
                                                << "file"
                                                << "machine" << success;
        QTest::newRow("both read-only") << "directory"
                                        << "under-file"
                                        << "file"
                                        << ""
                                        << QStringList{"NetworkFileImportAdminAlertText",
                                                       "ButtonNetworkFileImportAdmin",
                                                       "ButtonNetworkFileImportAdminText"};
        QTest::newRow("copy fails") << "writable"
                                    << "writable"
                                    << "directory"
                                    << "" << QStringList{"NetworkFileImportAlertText", "ButtonNetworkFileImport"};
    }

    void networkFileImport()
    {
        QFETCH(QString, first);
        QFETCH(QString, machine);
        QFETCH(QString, source);
        QFETCH(QString, landsIn);
        QFETCH(QStringList, shown);

        const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        const QString firstTarget = path(tag + "/program/network.json");
        if (first == "directory")
            QDir().mkpath(firstTarget);
        if (machine == "under-file") {
            writeFile(path(tag + "/blocker"), "a file, not a folder");
            qputenv("XDG_DATA_DIRS", path(tag + "/blocker/share").toLocal8Bit());
        } else {
            qputenv("XDG_DATA_DIRS", path(tag + "/machine").toLocal8Bit());
        }
        const QString machinePath = path(tag + "/machine/Velmorant Client/network.json");
        const QByteArray content("{ \"servers\": [ ] }\n\x01\x02");
        QString sourcePath = path(tag + "/chosen.json");
        if (source == "file")
            writeFile(sourcePath, content);
        else
            QDir().mkpath(sourcePath);

        TestableWindow window;
        window.setMode(1);
        window.firstTarget = firstTarget;
        window.fileAnswer = sourcePath;
        QCOMPARE(window.targets().value(1),
                 machine == "under-file" ? path(tag + "/blocker/share/Velmorant Client/network.json") : machinePath);
        click(window, "ButtonNetworkFileImport");

        const QStringList all{"NetworkFileImportInfoText",        "NetworkFileImportAlertText",
                              "NetworkFileImportAdminAlertText",  "ButtonNetworkFileImportAdmin",
                              "ButtonNetworkFileImportAdminText", "ButtonNetworkFileImport"};
        for (const QString &name : all)
            QVERIFY2(window.findWidget(name.toStdString())->isHidden() != shown.contains(name), qPrintable(name));
        if (landsIn == "first")
            QCOMPARE(readFile(firstTarget), content);
        if (landsIn == "machine")
            QCOMPARE(readFile(machinePath), content);
        if (landsIn != "machine")
            QVERIFY2(!QFileInfo::exists(machinePath), "the machine-wide target was touched");
        if (landsIn != "first" && first == "writable")
            QVERIFY2(!QFileInfo::exists(firstTarget), "the write probe's empty file stayed behind");
    }

    void importKeepsTheInstalledFileWhenCopyingFails()
    {
        const QString target = path("keep/network.json");
        writeFile(target, "installed before");
        QDir().mkpath(path("keep/unreadable.json")); // a folder cannot be copied
        QCOMPARE(Velmorant::importNetworkFile(path("keep/unreadable.json"), {target}),
                 Velmorant::NetworkFileImportResult::Failed);
        QCOMPARE(readFile(target), QByteArray("installed before"));

        writeFile(path("keep/new.json"), "new");
        QString deployedTo;
        QCOMPARE(Velmorant::importNetworkFile(path("keep/new.json"), {target}, &deployedTo),
                 Velmorant::NetworkFileImportResult::Deployed);
        QCOMPARE(deployedTo, target);
        QCOMPARE(readFile(target), QByteArray("new"));
        QVERIFY(QFileInfo(target).permissions().testFlag(QFileDevice::ReadOther));
    }

    // A FIFO opened for reading or writing waits for the other end; the import
    // must refuse it at once instead of hanging the window.
    void importRefusesFifos()
    {
        QDir().mkpath(path("fifo"));
        const QString fifoSource = path("fifo/source.json");
        const QString fifoTarget = path("fifo/network.json");
        QCOMPARE(::mkfifo(QFile::encodeName(fifoSource).constData(), 0600), 0);
        QCOMPARE(::mkfifo(QFile::encodeName(fifoTarget).constData(), 0600), 0);
        writeFile(path("fifo/good.json"), "good");
        const QString plainTarget = path("fifo/plain/network.json");

        QCOMPARE(Velmorant::importNetworkFile(fifoSource, {plainTarget}), Velmorant::NetworkFileImportResult::Failed);
        QVERIFY2(!QFileInfo::exists(plainTarget), "the write probe's empty file stayed behind");

        QString deployedTo;
        QCOMPARE(Velmorant::importNetworkFile(path("fifo/good.json"), {fifoTarget, plainTarget}, &deployedTo),
                 Velmorant::NetworkFileImportResult::Deployed);
        QCOMPARE(deployedTo, plainTarget);
        QCOMPARE(readFile(plainTarget), QByteArray("good"));
        QVERIFY(!QFileInfo(fifoTarget).isFile()); // still the FIFO, untouched
    }

    void relaunchArguments()
    {
        const QString marker = QLatin1String(Velmorant::kElevatedRelaunchMarker);
        const std::vector<std::wstring> expected{L"--flag", L"with blank", marker.toStdWString()};
        QCOMPARE(UiConfigurationWindow::relaunchArguments({"/opt/v/VelmorantClient", "--flag", "with blank"}),
                 expected);
        QCOMPARE(UiConfigurationWindow::relaunchArguments({"/opt/v/VelmorantClient", "--flag", marker, "with blank"}),
                 expected);
    }

    void elevatedRelaunch_data()
    {
        QTest::addColumn<int>("pkexecStatus");
        QTest::addColumn<int>("exitCode"); // 42: the program went on
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("icon");
        QTest::newRow("dismissed") << 126 << 42 << "Permission Required"
                                   << "Administrative privileges are required to perform this action."
                                   << int(QMessageBox::Warning);
        QTest::newRow("failed") << 1 << 42 << "Error"
                                << "An error occurred while attempting to elevate privileges."
                                << int(QMessageBox::Critical);
        QTest::newRow("started") << 0 << 0 << ""
                                 << "" << int(QMessageBox::NoIcon);
    }

    void elevatedRelaunch()
    {
        QFETCH(int, pkexecStatus);
        QFETCH(int, exitCode);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(int, icon);
        qputenv("FAKE_PKEXEC_STATUS", QByteArray::number(pkexecStatus));
        QFile::remove(path("pkexec-args.txt"));

        // Both elevation paths: through the administrator text and the other
        // button; the event loop shows whether the program leaves it.
        TestableWindow window;
        window.setMode(1);
        MessageBoxCatcher catcher;
        QTimer::singleShot(0, &window, [&] {
            click(window, "ButtonNetworkFileImportAdminText");
            // A relaunch has asked the loop to end by now; otherwise end it.
            QTimer::singleShot(100, &window, [] { QCoreApplication::exit(42); });
        });
        QTimer::singleShot(60000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), exitCode);

        QCOMPARE(catcher.count, title.isEmpty() ? 0 : 1);
        QCOMPARE(catcher.title, title);
        QCOMPARE(catcher.text, text);
        QCOMPARE(int(catcher.icon), icon);

        const QStringList args = QString::fromLocal8Bit(readFile(path("pkexec-args.txt"))).split('\n');
        QVERIFY2(args.contains(QCoreApplication::applicationFilePath()), qPrintable(args.join(' ')));
        QCOMPARE(args.value(args.size() - 2), QLatin1String(Velmorant::kElevatedRelaunchMarker));
        // The elevated instance starts in this working directory, not root's home.
        QCOMPARE(args.value(args.indexOf(QCoreApplication::applicationFilePath()) + 1), QDir::currentPath());
    }
};

QTEST_MAIN(TestUiConfigurationWindow)
#include "tst_uiconfigurationwindow.moc"
