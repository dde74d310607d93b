// SPDX-License-Identifier: GPL-2.0-or-later
// The shipped window description: every window the client's classes build,
// with their sizes and, in document order, the names, kinds, slots and texts
// their code relies on; the pictures and animations it names load; its texts
// are translated in both catalogues.
#include "uicustombutton.h"
#include "uifreewindow.h"
#include "windowdescriptionfile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>
#include <set>

namespace {

// One widget as window code expects it: "parent/name|kind|slot|text", the
// parent being the name of the widget holding it.
struct Expected {
    QString parent, name, type, slot, text;
};

std::vector<Expected> parse(const QStringList &pRows)
{
    std::vector<Expected> rows;
    for (const QString &row : pRows) {
        const QStringList parts = row.split(QLatin1Char('|'));
        const QStringList path = parts.value(0).split(QLatin1Char('/'));
        rows.push_back({path.value(0), path.value(1), parts.value(1), parts.value(2), parts.value(3)});
    }
    return rows;
}

const QString kSettingsWidgetsBeforeImport =
    QStringLiteral("BackgroundWidget/CloseButton|UiCustomButton|stlButtonCloseClicked()|;"
                   "BackgroundWidget/TitleText|QLabel||Réglages");
const QString kImportWidgets = QStringLiteral(
    "BackgroundWidget/NetworkFileImportText|QLabel||Importer le fichier de configuration;"
    "BackgroundWidget/ButtonNetworkFileImport|UiCustomButton|stlButtonNetworkFileImportClicked()|;"
    "BackgroundWidget/NetworkFileImportInfoText|QLabel||Importé avec succès;"
    "BackgroundWidget/NetworkFileImportAlertText|QLabel||L'importation a échoué;"
    "BackgroundWidget/NetworkFileImportAdminAlertText|QLabel||L'importation a échoué : droits administrateur requis. "
    "Relancer Velmorant Client en mode administrateur ?;"
    "BackgroundWidget/ButtonNetworkFileImportAdmin|UiCustomButton|stlButtonNetworkFileImportAdminClicked()|;"
    "BackgroundWidget/ButtonNetworkFileImportAdminText|UiCustomButton|stlButtonNetworkFileImportAdminClicked()|");
QString settingsWidgetsAfterImport(const QString &pNameField, const QString &pCaptureField)
{
    return QStringLiteral(
               "BackgroundWidget/SelectScreenText|QLabel||Ecran à partager;"
               "BackgroundWidget/ComboboxBackground1|QLabel||;"
               "BackgroundWidget/SelectScreen|QComboBox||;"
               "BackgroundWidget/UserNameText|QLabel||Nom affiché sur l'écran collaboratif;"
               "BackgroundWidget/%1|QLabel||;"
               "BackgroundWidget/UserName|QLineEdit||;"
               "BackgroundWidget/CaptureDestinationText|QLabel||Destination des captures d'écran;"
               "BackgroundWidget/%2|QLabel||;"
               "BackgroundWidget/CaptureDestination|QLineEdit||;"
               "BackgroundWidget/ButtonCaptureDestination|UiCustomButton|stlButtonCaptureDestinationClicked()|;"
               "BackgroundWidget/WidgetOnTop|UiCustomButton|stlButtonWidgetOnTopClicked()|;"
               "BackgroundWidget/WidgetOnTopText|QLabel||Toujours laisser le client Velmorant au premier plan;"
               "BackgroundWidget/RemoteControl|UiCustomButton|stlButtonRemoteControlClicked()|;"
               "BackgroundWidget/RemoteControlText|QLabel||Autoriser la prise de contrôle de votre écran à distance;"
               "BackgroundWidget/SelectLanguageText|QLabel||Langue de l'interface;"
               "BackgroundWidget/ComboboxBackground1|QLabel||;"
               "BackgroundWidget/SelectLanguage|QComboBox||;"
               "BackgroundWidget/LanguageChangeWarningText|QLabel||Redémarrage de l'application nécessaire")
        .arg(pNameField, pCaptureField);
}

QStringList colourAndTagRows()
{
    QStringList rows;
    for (const char *colour : {"Yellow", "Orange", "Red", "Green", "Blue", "Camel", "Brown", "Black", "Gray"})
        rows << QStringLiteral("Background/ButtonColor%1|UiCustomButton|stlButtonColorClicked()|").arg(colour);
    rows << QStringLiteral("Background/ValidButton|UiCustomButton|stlButtonValidationClicked()|")
         << QStringLiteral("Background/CloseButton|UiCustomButton|stlButtonCloseClicked()|")
         << QStringLiteral("Background/CharacterCounter|QLabel||")
         << QStringLiteral("Background/ColorButton|UiCustomButton|stlButtonColorModeClicked()|")
         << QStringLiteral("Background/TagButton|UiCustomButton|stlButtonTagModeClicked()|");
    for (const char *tag :
         {"Star", "Exclamation", "Question", "Thumbtack", "Duplicate", "Reload", "Check", "Approximate", "Forbidden"})
        rows << QStringLiteral("Background/ButtonTag%1|UiCustomButton|stlButtonTagClicked()|").arg(tag);
    return rows;
}

struct ExpectedWindow {
    QString name;
    QSize size;
    std::vector<Expected> widgets;
};

std::vector<ExpectedWindow> expectedWindows()
{
    const QString code = QStringLiteral(
        "/BackgroundWidget|QLabel||;"
        "BackgroundWidget/TitleImage|QLabel||;"
        "BackgroundWidget/ButtonClose|UiCustomButton|stlButtonCloseClicked()|;"
        "BackgroundWidget/|QLabel||;"
        "BackgroundWidget/TextboxCode|UiTextboxCode||;"
        "BackgroundWidget/LabelRoom|QLabel||;"
        "BackgroundWidget/LabelUserCount|QLabel||;"
        "BackgroundWidget/LoaderImage|QLabel||;"
        "BackgroundWidget/ButtonConnect|UiCustomButton|stlButtonConnectClicked()|;"
        "BackgroundWidget/ButtonNetworkConfiguration|UiCustomButton|sltButtonNetworkConfigurationClicked()|;"
        "BackgroundWidget/ButtonDoUpdate|UiCustomButton|sltButtonUpdateClicked()|;"
        "BackgroundWidget/ButtonDoUpdateText|UiCustomButton|sltButtonUpdateClicked()|Update available;"
        "BackgroundWidget/LabelVersionWidget|QLabel||;"
        "BackgroundWidget/ApplyUpdateView|QLabel||;"
        "ApplyUpdateView/LabelUpdateExist|QLabel||Apply Update;"
        "ApplyUpdateView/LabelUpdateNeeded|QLabel||Update Needed;"
        "ApplyUpdateView/ButtonUpdateOk|UiCustomButton|sltDoUpdateValid()|Ok;"
        "ApplyUpdateView/ButtonUpdateNon|UiCustomButton|sltDoUpdateCancel()|Cancel;"
        "BackgroundWidget/DownloadUpdateView|QLabel||;"
        "DownloadUpdateView/DownloadingUpdateLabel|QLabel||Downloading Update;"
        "DownloadUpdateView/DownloadImage|QLabel||;"
        "BackgroundWidget/UpdateErrorView|QLabel||;"
        "UpdateErrorView/UpdateErrorClientToRecentLabel|QLabel||Update error - Client to recent;"
        "UpdateErrorView/UpdateErrorNoUpdateLabel|QLabel||Update error - No Update;"
        "UpdateErrorView/ButtonUpdateImpossibleCancel|UiCustomButton|sltDoUpdateCancel()|Quit;"
        "BackgroundWidget/SplashScreen|QLabel||");
    const QString session = QStringLiteral(
        "/BackgroundWidget|QLabel||;"
        "BackgroundWidget/Title|QLabel||Velmorant;"
        "BackgroundWidget/Logo|QLabel||;"
        "BackgroundWidget/Logo|QLabel||;"
        "BackgroundWidget/LoaderImage|QLabel||;"
        "BackgroundWidget/ButtonClose|UiCustomButton|stlButtonCloseClicked()|;"
        "BackgroundWidget/ButtonMinimize|UiCustomButton|stlButtonMinimizeClicked()|;"
        "BackgroundWidget/ButtonFlux|UiCustomButton|stlButtonFluxClicked()|;"
        "BackgroundWidget/LoaderFlux|QLabel||;"
        "BackgroundWidget/ButtonFluxPause|UiCustomButton|stlButtonFluxPauseClicked()|;"
        "BackgroundWidget/ButtonFluxPauseAnim|QLabel||;"
        "BackgroundWidget/ButtonFluxFullScreenMaximize|UiCustomButton|stlButtonFluxFullScreenMaximizeClicked()|;"
        "BackgroundWidget/ButtonFluxFullScreenMinimize|UiCustomButton|stlButtonFluxFullScreenMinimizeClicked()|;"
        "BackgroundWidget/ButtonUpload|UiCustomButton|stlButtonUploadClicked()|;"
        "BackgroundWidget/ButtonUploadWeb|UiCustomButton|stlButtonUploadWebClicked()|;"
        "BackgroundWidget/ButtonUploadNote|UiCustomButton|stlButtonUploadNoteClicked()|;"
        "BackgroundWidget/ButtonUploadCapture|UiCustomButton|stlButtonUploadCaptureClicked()|;"
        "BackgroundWidget/ButttonUploadExplorer|UiCustomButton|stlButtonUploadExplorerClicked()|;"
        "BackgroundWidget/ButtonConfig|UiCustomButton|stlButtonConfigurationClicked()|;"
        "BackgroundWidget/ButtonCapture|UiCustomButton|stlButtonCaptureClicked()|;"
        "BackgroundWidget/ButtonDisconnect|UiCustomButton|stlButtonDisconnectClicked()|;"
        "BackgroundWidget/DisableMask|QLabel||");
    const QString note = QStringLiteral("/Background|QLabel||;"
                                        "Background/BackgroundColor|QLabel||;"
                                        "Background/MainText|QTextEdit||;") +
                         colourAndTagRows().join(QLatin1Char(';'));
    const QString web = QStringLiteral("/Background|QLabel||;"
                                       "Background/TextBacround|QLabel||;"
                                       "Background/TitleLabel|QLabel||Page internet;"
                                       "Background/UrlText|UiCustomLineEdit||;"
                                       "Background/ClearButton|UiCustomButton|stlButtonClearClicked()|;"
                                       "Background/ValidButton|UiCustomButton|stlButtonValidationClicked()|;"
                                       "Background/CloseButton|UiCustomButton|stlButtonCloseClicked()|;"
                                       "Background/ErrorLabel|QLabel||URL invalide");
    const QString settings = QStringLiteral("/BackgroundWidget|QLabel||;") + kSettingsWidgetsBeforeImport +
                             QLatin1Char(';') + kImportWidgets + QLatin1Char(';') +
                             settingsWidgetsAfterImport(QStringLiteral("BackgroundUserNameLineEdit"),
                                                        QStringLiteral("BackgroundCaptureDestinationLineEdit"));
    const QString settingsAdvanced =
        QStringLiteral("/BackgroundWidget|QLabel||;") + kSettingsWidgetsBeforeImport + QLatin1Char(';') +
        settingsWidgetsAfterImport(QStringLiteral("BackgroundText1"), QStringLiteral("BackgroundText2"));
    const auto rows = [](const QString &pText) { return parse(pText.split(QLatin1Char(';'))); };
    return {
        {QStringLiteral("UiCodeWindow"), QSize(500, 252), rows(code)},
        {QStringLiteral("UiMainWindowAdvanced"), QSize(272, 384), rows(session)},
        {QStringLiteral("UiNoteWindowAdvanced"), QSize(352, 417), rows(note)},
        {QStringLiteral("UiWebWindowAdvanced"), QSize(592, 184), rows(web)},
        {QStringLiteral("UiConfigurationWindow"), QSize(500, 896), rows(settings)},
        {QStringLiteral("UiConfigurationWindowAdvanced"), QSize(496, 736), rows(settingsAdvanced)},
    };
}

// Records in document order, each with the name of the record holding it.
void flatten(const std::vector<WidgetDescription> &pRecords, const QString &pParent,
             std::vector<std::pair<QString, const WidgetDescription *>> &pOut)
{
    for (const WidgetDescription &record : pRecords) {
        pOut.emplace_back(pParent, &record);
        flatten(record.children, record.name, pOut);
    }
}

// Every string value of the description that names a resource.
void collectPaths(const Json::Value &pValue, std::set<QString> &pPaths)
{
    if (pValue.isString()) {
        const QString text = QString::fromStdString(pValue.asString());
        int from = 0;
        while ((from = text.indexOf(QLatin1String(":/MainWidget/"), from)) >= 0) {
            int end = from;
            while (end < text.size() && !QStringLiteral(") ;\"").contains(text.at(end)))
                ++end;
            pPaths.insert(text.mid(from, end - from));
            from = end;
        }
    } else if (pValue.isArray() || pValue.isObject()) {
        for (const Json::Value &child : pValue)
            collectPaths(child, pPaths);
    }
}

// Source texts of the context UiFreeWindow that have a finished translation.
std::set<QString> translatedTexts(const QString &pCatalogue)
{
    std::set<QString> texts;
    QFile file(pCatalogue);
    if (!file.open(QIODevice::ReadOnly))
        return texts;
    QXmlStreamReader xml(&file);
    QString context, source;
    bool inContext = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
            inContext = context == QLatin1String("UiFreeWindow");
        } else if (inContext && xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (inContext && xml.name() == QLatin1String("translation")) {
            const bool unfinished = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            const QString translation = xml.readElementText();
            if (!unfinished && !translation.isEmpty())
                texts.insert(source);
        }
    }
    return texts;
}

// The factory's windows; code boxes are another module's, a plain label here.
class ShippedWindow : public UiFreeWindow {
public:
    using UiFreeWindow::applyScale;

protected:
    QWidget *createCustomWidget(const WidgetDescription &pDescription, QWidget *pParent) override
    {
        if (pDescription.type != QLatin1String("UiTextboxCode"))
            return nullptr;
        auto *box = new QLabel(pParent);
        box->setGeometry(pDescription.x, pDescription.y, pDescription.width, pDescription.height);
        return box;
    }
};

const char *kindOf(QWidget *pWidget)
{
    if (qobject_cast<UiCustomButton *>(pWidget))
        return "UiCustomButton";
    if (qobject_cast<QComboBox *>(pWidget))
        return "QComboBox";
    if (qobject_cast<QTextEdit *>(pWidget))
        return "QTextEdit";
    if (pWidget->inherits("UiCustomLineEdit"))
        return "UiCustomLineEdit";
    if (qobject_cast<QLineEdit *>(pWidget))
        return "QLineEdit";
    if (qobject_cast<QLabel *>(pWidget))
        return "QLabel";
    return "?";
}

} // namespace

class TestShippedWindows : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    WindowDescriptionFile m_description;

private slots:
    void initTestCase()
    {
        // A Resources/windows.json in the working directory would win over the bundle.
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QVERIFY(m_description.load());
        // The stand-in window has none of the window classes' slots.
        QLoggingCategory::setFilterRules(QStringLiteral("velmorant.ui.warning=false"));
        QCOMPARE(WindowDescriptionFile::descriptionPath(), QStringLiteral(":/MainWidget/windows.json"));
    }

    void windowsAndWidgets_data()
    {
        QTest::addColumn<int>("index");
        const auto windows = expectedWindows();
        for (int i = 0; i < int(windows.size()); ++i)
            QTest::newRow(qPrintable(windows[i].name)) << i;
    }
    void windowsAndWidgets()
    {
        QFETCH(int, index);
        const ExpectedWindow expected = expectedWindows()[index];
        const WindowDescription window = m_description.windowDescription(expected.name);
        QCOMPARE(QSize(window.width, window.height), expected.size);
        QCOMPARE(int(window.children.size()), 1); // one full-size background label
        QCOMPARE(QSize(window.children[0].width, window.children[0].height), expected.size);

        std::vector<std::pair<QString, const WidgetDescription *>> records;
        flatten(window.children, QString(), records);
        QCOMPARE(int(records.size()), int(expected.widgets.size()));
        for (size_t i = 0; i < records.size(); ++i) {
            const WidgetDescription &record = *records[i].second;
            const Expected &want = expected.widgets[i];
            const QString where = QStringLiteral("%1 #%2 %3").arg(expected.name).arg(i).arg(want.name);
            QVERIFY2(records[i].first == want.parent,
                     qPrintable(where + QStringLiteral(": parent ") + records[i].first));
            QVERIFY2(record.name == want.name, qPrintable(where + QStringLiteral(": name ") + record.name));
            QVERIFY2(record.type == want.type, qPrintable(where + QStringLiteral(": kind ") + record.type));
            if (want.type == QLatin1String("UiCustomButton")) // elsewhere "Slot" is read by nobody
                QVERIFY2(record.slot == want.slot, qPrintable(where + QStringLiteral(": slot ") + record.slot));
            QVERIFY2(record.text == want.text, qPrintable(where + QStringLiteral(": text ") + record.text));
            QVERIFY2(record.width > 0 && record.height > 0, qPrintable(where + QStringLiteral(": no size")));
        }
    }

    void builtWindows_data() { windowsAndWidgets_data(); }
    void builtWindows()
    {
        QFETCH(int, index);
        const ExpectedWindow expected = expectedWindows()[index];
        ShippedWindow window;
        window.setWindowName(expected.name.toStdString());
        window.buildWindow();
        QCOMPARE(window.size(), expected.size);
        std::map<QString, int> seen;
        for (const Expected &want : expected.widgets) {
            if (want.name.isEmpty())
                continue;
            QWidget *widget = window.findWidget(want.name.toStdString());
            QVERIFY2(widget, qPrintable(want.name));
            if (want.type != QLatin1String("UiTextboxCode"))
                QCOMPARE(QString::fromLatin1(kindOf(widget)), want.type);
            if (!want.parent.isEmpty())
                QCOMPARE(widget->parentWidget()->objectName(), want.parent);
            ++seen[want.name];
        }
        // With duplicate names the widget created last is found.
        for (const auto &[name, count] : seen) {
            if (count < 2)
                continue;
            QWidget *found = window.findWidget(name.toStdString());
            const QList<QWidget *> all = window.centralWidget()->findChildren<QWidget *>(name);
            QCOMPARE(all.size(), count);
            QCOMPARE(found, all.last());
        }
    }

    void animationsFollowTheScale()
    {
        ShippedWindow window;
        window.setWindowName("UiMainWindowAdvanced");
        window.buildWindow();
        auto *loader = window.findWidget<QLabel>("LoaderFlux");
        QVERIFY(loader && loader->movie());
        QCOMPARE(loader->movie()->state(), QMovie::Running);
        QCOMPARE(loader->movie()->scaledSize(), QSize(40, 40)); // decoded at the shown size
        window.applyScale(0, 1.5f);
        QCOMPARE(loader->size(), QSize(60, 60));
        QCOMPARE(loader->movie()->scaledSize(), QSize(60, 60));
    }

    void shippedStyle()
    {
        const Json::Value object(Json::objectValue);
        Json::Value styled = object;
        styled["Style"] = "configuration_button";
        const Json::Value merged = m_description.applyStyle(styled);
        QCOMPARE(merged["TitleFontColor"].asString(), std::string("rgba(238, 240, 239, 255)"));
        QCOMPARE(merged["TitleMarginLeft"].asInt(), 104);
        QCOMPARE(merged["TitleMarginTop"].asInt(), -2);
        QCOMPARE(merged["TitleFontSize"].asInt(), 11);
        QCOMPARE(merged["DescriptionMarginLeft"].asInt(), 95);
        QCOMPARE(merged["DescriptionMarginTop"].asInt(), 35);
        QCOMPARE(merged["DescriptionFontSize"].asInt(), 11);
        QCOMPARE(merged["ImageSize"].asString(), std::string("56, 56"));
        QVERIFY(!merged.isMember("Name"));
    }

    void givenRows()
    {
        const auto record = [this](const char *pWindow, const char *pName) {
            std::vector<std::pair<QString, const WidgetDescription *>> records;
            static std::vector<WindowDescription> keep;
            keep.push_back(m_description.windowDescription(QLatin1String(pWindow)));
            flatten(keep.back().children, QString(), records);
            for (const auto &entry : records)
                if (entry.second->name == QLatin1String(pName))
                    return *entry.second;
            return WidgetDescription();
        };
        const auto geometry = [](const WidgetDescription &pRecord) {
            return QRect(pRecord.x, pRecord.y, pRecord.width, pRecord.height);
        };
        const WidgetDescription background = record("UiCodeWindow", "BackgroundWidget");
        QCOMPARE(geometry(background), QRect(0, 0, 500, 252));
        QCOMPARE(background.backgroundImage, QStringLiteral(":/MainWidget/asset_background_connexion.svg"));
        const WidgetDescription box = record("UiCodeWindow", "TextboxCode");
        QCOMPARE(geometry(box), QRect(130, 102, 240, 48));
        QCOMPARE(box.intValue("CaracterMargin"), 8);
        QCOMPARE(box.intValue("CaracterWidth"), 40);
        QCOMPARE(box.backgroundImage, QStringLiteral(":/MainWidget/asset_code_background.svg"));
        QCOMPARE(box.stringValue("BackgroundCursorImage"),
                 QStringLiteral(":/MainWidget/asset_code_cursor_background.svg"));
        const WidgetDescription room = record("UiCodeWindow", "LabelRoom");
        QCOMPARE(geometry(room), QRect(104, 44, 292, 34));
        QCOMPARE(room.fontColor, QStringLiteral("rgba(255, 255, 255, 255)"));
        QCOMPARE(room.alignment, QStringLiteral("Center"));
        QCOMPARE(room.fontSize, 24);
        const WidgetDescription update = record("UiCodeWindow", "ButtonDoUpdateText");
        QCOMPARE(geometry(update), QRect(182, 202, 136, 32));
        QCOMPARE(geometry(record("UiCodeWindow", "ButtonDoUpdate")), geometry(update));
        QCOMPARE(update.backgroundImage, QString());
        QCOMPARE(update.fontColor, QStringLiteral("rgba(254, 79, 0, 255)"));
        QCOMPARE(update.fontSize, 14);
        const WidgetDescription flux = record("UiMainWindowAdvanced", "ButtonFlux");
        QCOMPARE(geometry(flux), QRect(32, 80, 80, 80));
        QCOMPARE(flux.backgroundImage, QStringLiteral(":/MainWidget/Advanced/button_flux_stopped.svg"));
        QCOMPARE(flux.backgroundImage2, QStringLiteral(":/MainWidget/Advanced/button_flux_started.svg"));
        QCOMPARE(flux.backgroundImage3, QStringLiteral(":/MainWidget/Advanced/button_flux_stopped_loading.svg"));
        QCOMPARE(flux.stringValue("WaitingImage"), QStringLiteral(":/MainWidget/asset_partage_ecran_WAIT.svg"));
        const WidgetDescription screen = record("UiConfigurationWindow", "SelectScreen");
        QCOMPARE(geometry(screen), QRect(56, 300, 195, 24));
        QCOMPARE(screen.fontSize, 17);
        QCOMPARE(screen.styleSheet,
                 QStringLiteral("QComboBox { selection-color: black; border: 0px; padding-left: 10px; } "
                                "QComboBox::down-arrow { image: url(:/MainWidget/combobox-arrow.png); } "
                                "QComboBox::drop-down { border: 0px; } "));
        const WidgetDescription url = record("UiWebWindowAdvanced", "UrlText");
        QCOMPARE(geometry(url), QRect(46, 83, 376, 42));
        QCOMPARE(url.fontSize, 18);
        QCOMPARE(url.styleSheet, QStringLiteral("QLineEdit { selection-color: black; border : 0px ; "
                                                "background-color: rgba(0, 0, 0, 0%) ; padding-left: 3px;} "));
        const WidgetDescription onTop = record("UiConfigurationWindow", "WidgetOnTop");
        QCOMPARE(geometry(onTop), QRect(40, 591, 64, 40));
        QCOMPARE(onTop.backgroundImage, QString());
    }

    void artworkLoads()
    {
        std::set<QString> paths;
        for (const QString &name : m_description.windowNames())
            collectPaths(*m_description.findWindow(name), paths);
        // Images window code shows without naming them in the description.
        paths.insert(QStringLiteral(":/MainWidget/Advanced/reglages_switch_1.svg"));
        paths.insert(QStringLiteral(":/MainWidget/Advanced/reglages_switch_2.svg"));
        for (const char *colour : {"yellow", "orange", "red", "green", "blue", "camel", "brown", "black", "gray"})
            paths.insert(QStringLiteral(":/MainWidget/Advanced/note_back_%1.svg").arg(QLatin1String(colour)));
        QVERIFY(paths.size() > 90);
        for (const QString &path : paths) {
            QVERIFY2(QFile::exists(path), qPrintable(path));
            if (path.endsWith(QLatin1String(".svg"))) {
                QSvgRenderer renderer(path);
                QVERIFY2(renderer.isValid(), qPrintable(path));
            } else if (path.endsWith(QLatin1String(".gif"))) {
                QMovie movie(path);
                QVERIFY2(movie.isValid() && movie.frameCount() > 1, qPrintable(path));
            } else {
                QVERIFY2(!QPixmap(path).isNull(), qPrintable(path));
            }
        }
    }

    // No text of the description, in either language, is wider than its
    // widget (labels tall enough for two lines are wrapped by window code).
    void textsFitTheirWidgets_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("source") << QString();
        QTest::newRow("fr") << QStringLiteral("fr");
        QTest::newRow("en") << QStringLiteral("en");
    }
    void textsFitTheirWidgets()
    {
        QFETCH(QString, language);
        QVERIFY(QFontDatabase::addApplicationFont(QStringLiteral(":/MainWidget/Muli-Regular.ttf")) >= 0);
        QTranslator translator;
        if (!language.isEmpty()) {
            const QString catalogue = qEnvironmentVariable("VELMORANT_BUILD_DIR") +
                                      QStringLiteral("/bin/languages/velmorantclient_%1.qm").arg(language);
            if (!translator.load(catalogue))
                QSKIP("the compiled catalogues are not in VELMORANT_BUILD_DIR");
            QCoreApplication::installTranslator(&translator);
        }
        int checked = 0;
        for (const QString &name : m_description.windowNames()) {
            ShippedWindow window;
            window.setWindowName(name.toStdString());
            window.buildWindow();
            const QList<QLabel *> labels = window.centralWidget()->findChildren<QLabel *>();
            for (QLabel *label : labels) {
                if (label->text().isEmpty())
                    continue;
                const QFontMetrics metrics(label->font());
                if (label->height() >= 2 * metrics.height())
                    continue;
                const QString what = QStringLiteral("%1 %2 \"%3\"").arg(name, label->objectName(), label->text());
                QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width() - 4, qPrintable(what));
                QVERIFY2(metrics.height() <= label->height(), qPrintable(what));
                ++checked;
            }
        }
        QCoreApplication::removeTranslator(&translator);
        QVERIFY(checked > 20);
    }

    void textsAreTranslated()
    {
        const QString source = qEnvironmentVariable("VELMORANT_SOURCE_DIR");
        if (source.isEmpty())
            QSKIP("VELMORANT_SOURCE_DIR is not set");
        std::set<QString> texts;
        for (const QString &name : m_description.windowNames()) {
            const WindowDescription window = m_description.windowDescription(name);
            std::vector<std::pair<QString, const WidgetDescription *>> records;
            flatten(window.children, QString(), records);
            for (const auto &entry : records)
                for (const QString &text : {entry.second->text, entry.second->toolTipText, entry.second->titleText,
                                            entry.second->descriptionText})
                    if (!text.isEmpty())
                        texts.insert(text);
        }
        QVERIFY(!texts.empty());
        for (const char *language : {"fr", "en"}) {
            const std::set<QString> translated = translatedTexts(
                source + QStringLiteral("/client/languages/velmorantclient_%1.ts").arg(QLatin1String(language)));
            for (const QString &text : texts)
                QVERIFY2(translated.count(text),
                         qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(language), text)));
        }
    }
};

QTEST_MAIN(TestShippedWindows)
#include "tst_shippedwindows.moc"
