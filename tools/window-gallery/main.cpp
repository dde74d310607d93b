// SPDX-License-Identifier: GPL-2.0-or-later
// window-gallery: renders the windows of the window description to PNG files
// for review, each in the states its window class shows them.
//
//   window-gallery [--factor F] [--out DIR] [--catalogue FILE.qm]
//
// F is the screen factor (logical DPI / 96); 1.0 writes <WindowsName>[-state].png,
// any other factor <WindowsName>[-state]@<F>x.png.
#include "renderimage.h"
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "uifreewindow.h"
#include "windowdescriptionfile.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTextEdit>
#include <QTranslator>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Stands in for the code window's code box (another module): the same layout
// of five cells over the background image, the cursor behind one cell.
class CodeBoxPreview : public QLabel {
public:
    CodeBoxPreview(const WidgetDescription &pDescription, const QString &pCode, int pCursor, QWidget *pParent)
        : QLabel(pParent)
    {
        setScaledContents(true);
        setGeometry(pDescription.x, pDescription.y, pDescription.width, pDescription.height);
        setPixmap(QPixmap::fromImage(renderTo(pDescription.backgroundImage, size())));
        const double slot = pDescription.width / 5.0;
        const int cellWidth = static_cast<int>(slot * 0.8);
        const int margin = static_cast<int>(slot * 0.2);
        auto *cursor = new QLabel(this);
        cursor->setScaledContents(true);
        int x = margin;
        for (int i = 0; i < 5; ++i) {
            auto *cell = new QLabel(this);
            cell->setGeometry(x, 0, cellWidth, height());
            cell->setAlignment(Qt::AlignCenter);
            cell->setStyleSheet(QStringLiteral("QLabel { color : white  }"));
            QFont font = cell->font();
            font.setPixelSize(height() - 20);
            cell->setFont(font);
            cell->setText(pCode.mid(i, 1));
            if (i == pCursor) {
                cursor->setGeometry(cell->geometry());
                cursor->setPixmap(
                    QPixmap::fromImage(renderTo(pDescription.stringValue("BackgroundCursorImage"), cell->size())));
            }
            x += margin + cellWidth;
        }
        cursor->setVisible(pCursor >= 0);
    }

private:
    static QImage renderTo(const QString &pPath, const QSize &pSize)
    {
        return renderImage(pPath, pSize.width(), pSize.height()).toImage();
    }
};

class GalleryWindow : public UiFreeWindow {
public:
    QString code = QStringLiteral("_____");
    int cursor = 0;

    void hideAll(std::initializer_list<const char *> pNames)
    {
        for (const char *name : pNames)
            if (QWidget *widget = findWidget(name))
                widget->hide();
    }
    void showAll(std::initializer_list<const char *> pNames)
    {
        for (const char *name : pNames)
            if (QWidget *widget = findWidget(name))
                widget->show();
    }
    void text(const char *pName, const QString &pText)
    {
        QWidget *widget = findWidget(pName);
        if (auto *label = qobject_cast<QLabel *>(widget))
            label->setText(pText);
        else if (auto *edit = qobject_cast<QLineEdit *>(widget))
            edit->setText(pText);
        else if (auto *textEdit = qobject_cast<QTextEdit *>(widget))
            textEdit->setPlainText(pText);
    }
    // Which image of a button to show: 1, 2 or 3, or a path.
    void image(const char *pName, int pWhich)
    {
        if (auto *button = findWidget<UiCustomButton>(pName))
            button->setImage(pWhich == 1   ? button->backgroundImage()
                             : pWhich == 2 ? button->backgroundImage2()
                                           : button->backgroundImage3());
    }
    void picture(const char *pName, const QString &pPath)
    {
        if (auto *button = findWidget<UiCustomButton>(pName))
            button->setImage(pPath);
        else if (auto *label = findWidget<QLabel>(pName))
            label->setPixmap(renderImage(pPath, label->width(), label->height()));
    }
    void items(const char *pName, const QStringList &pItems)
    {
        if (auto *combo = findWidget<QComboBox>(pName)) {
            combo->clear();
            combo->addItems(pItems);
        }
    }

protected:
    QWidget *createCustomWidget(const WidgetDescription &pDescription, QWidget *pParent) override
    {
        if (pDescription.type == QLatin1String("UiTextboxCode"))
            return new CodeBoxPreview(pDescription, code, cursor, pParent);
        return nullptr;
    }
};

struct View {
    QString suffix;
    QString code;
    int cursor;
    std::function<void(GalleryWindow &)> setup;
};

const QString kSwitchOff = QStringLiteral(":/MainWidget/Advanced/reglages_switch_1.svg");
const QString kSwitchOn = QStringLiteral(":/MainWidget/Advanced/reglages_switch_2.svg");

void codeWindowAtRest(GalleryWindow &w)
{
    w.hideAll({"SplashScreen", "ApplyUpdateView", "DownloadUpdateView", "UpdateErrorView", "LoaderImage",
               "ButtonConnect", "ButtonDoUpdate", "ButtonDoUpdateText"});
    w.text("LabelVersionWidget", QStringLiteral("V" VELMORANT_VERSION));
    w.text("LabelRoom", UiFreeWindow::tr("Connexion"));
    w.text("LabelUserCount", UiFreeWindow::tr("Enter Code"));
}

void sessionAtRest(GalleryWindow &w)
{
    w.hideAll({"LoaderFlux", "ButtonFluxPause", "ButtonFluxPauseAnim", "ButtonFluxFullScreenMaximize",
               "ButtonFluxFullScreenMinimize", "ButttonUploadExplorer", "ButtonUploadCapture", "ButtonUploadWeb",
               "ButtonUploadNote", "LoaderImage", "DisableMask"});
    w.text("Title", QStringLiteral("Salle Horizon"));
}

void noteAtRest(GalleryWindow &w)
{
    w.hideAll({"ButtonTagStar", "ButtonTagExclamation", "ButtonTagQuestion", "ButtonTagThumbtack", "ButtonTagDuplicate",
               "ButtonTagReload", "ButtonTagCheck", "ButtonTagApproximate", "ButtonTagForbidden"});
    w.image("ColorButton", 2);
    w.image("ButtonColorYellow", 2);
    w.text("MainText", QStringLiteral("Point 3 : valider le budget\navant vendredi"));
    if (auto *edit = w.findWidget<QTextEdit>("MainText")) {
        QFont font = edit->font();
        font.setPointSize(12);
        edit->setFont(font);
        edit->setTextColor(Qt::white);
        edit->setPlainText(edit->toPlainText());
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    w.text("CharacterCounter", QStringLiteral("54"));
    if (auto *counter = w.findWidget<QLabel>("CharacterCounter"))
        counter->setStyleSheet(QStringLiteral("color: white"));
}

void settingsAtRest(GalleryWindow &w)
{
    w.hideAll({"NetworkFileImportInfoText", "NetworkFileImportAlertText", "NetworkFileImportAdminAlertText",
               "ButtonNetworkFileImportAdmin", "ButtonNetworkFileImportAdminText", "LanguageChangeWarningText"});
    w.picture("WidgetOnTop", kSwitchOff);
    w.picture("RemoteControl", kSwitchOn);
    w.items("SelectScreen", {QStringLiteral("Screen 1"), QStringLiteral("Screen 2")});
    w.items("SelectLanguage", {QStringLiteral("English"), QStringLiteral("Français")});
    w.text("UserName", QStringLiteral("Camille Martin"));
    w.text("CaptureDestination", QStringLiteral("/home/camille/Images/Captures"));
    for (const char *name : {"WidgetOnTopText", "RemoteControlText", "NetworkFileImportAdminAlertText"})
        if (auto *label = w.findWidget<QLabel>(name))
            label->setWordWrap(true);
}

std::vector<View> viewsOf(const QString &pWindow)
{
    if (pWindow == QLatin1String("UiCodeWindow"))
        return {
            {QString(), QStringLiteral("HX42K"), 4,
             [](GalleryWindow &w) {
                 codeWindowAtRest(w);
                 w.text("LabelRoom", QStringLiteral("Salle Horizon"));
                 w.text("LabelUserCount", QStringLiteral("3 / 12 users."));
                 w.showAll({"ButtonConnect", "ButtonDoUpdate", "ButtonDoUpdateText"});
             }},
            {QStringLiteral("-idle"), QStringLiteral("AB___"), 2, codeWindowAtRest},
            {QStringLiteral("-searching"), QStringLiteral("HX42K"), 4,
             [](GalleryWindow &w) {
                 codeWindowAtRest(w);
                 w.showAll({"LoaderImage"});
             }},
            {QStringLiteral("-splash"), QStringLiteral("_____"), 0, [](GalleryWindow &) {}},
            {QStringLiteral("-update"), QStringLiteral("HX42K"), 4,
             [](GalleryWindow &w) {
                 codeWindowAtRest(w);
                 w.showAll({"ApplyUpdateView"});
                 w.hideAll({"LabelUpdateNeeded"});
             }},
            {QStringLiteral("-download"), QStringLiteral("HX42K"), 4,
             [](GalleryWindow &w) {
                 codeWindowAtRest(w);
                 w.showAll({"DownloadUpdateView"});
             }},
            {QStringLiteral("-error"), QStringLiteral("HX42K"), 4,
             [](GalleryWindow &w) {
                 codeWindowAtRest(w);
                 w.showAll({"UpdateErrorView"});
                 w.hideAll({"UpdateErrorClientToRecentLabel"});
             }},
        };
    if (pWindow == QLatin1String("UiMainWindowAdvanced"))
        return {
            {QString(), QString(), -1, sessionAtRest},
            {QStringLiteral("-starting"), QString(), -1,
             [](GalleryWindow &w) {
                 sessionAtRest(w);
                 w.image("ButtonFlux", 3);
                 w.showAll({"LoaderFlux"});
             }},
            {QStringLiteral("-streaming"), QString(), -1,
             [](GalleryWindow &w) {
                 sessionAtRest(w);
                 w.image("ButtonFlux", 2);
                 w.showAll({"ButtonFluxPause", "ButtonFluxFullScreenMaximize"});
             }},
            {QStringLiteral("-paused"), QString(), -1,
             [](GalleryWindow &w) {
                 sessionAtRest(w);
                 w.image("ButtonFlux", 2);
                 w.image("ButtonFluxPause", 2);
                 w.image("ButtonFluxFullScreenMinimize", 2);
                 w.showAll({"ButtonFluxPause", "ButtonFluxPauseAnim", "ButtonFluxFullScreenMinimize"});
             }},
            {QStringLiteral("-menu"), QString(), -1,
             [](GalleryWindow &w) {
                 sessionAtRest(w);
                 w.image("ButtonUpload", 2);
                 w.image("ButtonCapture", 2);
                 w.showAll({"ButttonUploadExplorer", "ButtonUploadCapture", "ButtonUploadWeb", "ButtonUploadNote",
                            "LoaderImage"});
             }},
        };
    if (pWindow == QLatin1String("UiNoteWindowAdvanced"))
        return {
            {QString(), QString(), -1, noteAtRest},
            {QStringLiteral("-tags"), QString(), -1,
             [](GalleryWindow &w) {
                 noteAtRest(w);
                 w.image("ColorButton", 1);
                 w.image("TagButton", 2);
                 w.picture("BackgroundColor", QStringLiteral(":/MainWidget/Advanced/note_back_blue.svg"));
                 w.hideAll({"ButtonColorYellow", "ButtonColorOrange", "ButtonColorRed", "ButtonColorGreen",
                            "ButtonColorBlue", "ButtonColorCamel", "ButtonColorBrown", "ButtonColorBlack",
                            "ButtonColorGray"});
                 w.showAll({"ButtonTagStar", "ButtonTagExclamation", "ButtonTagQuestion", "ButtonTagThumbtack",
                            "ButtonTagDuplicate", "ButtonTagReload", "ButtonTagCheck", "ButtonTagApproximate",
                            "ButtonTagForbidden"});
                 w.image("ButtonTagStar", 2);
             }},
            {QStringLiteral("-gray"), QString(), -1,
             [](GalleryWindow &w) {
                 noteAtRest(w);
                 w.image("ButtonColorYellow", 1);
                 w.image("ButtonColorGray", 2);
                 w.image("CloseButton", 2);
                 w.picture("BackgroundColor", QStringLiteral(":/MainWidget/Advanced/note_back_gray.svg"));
                 if (auto *edit = w.findWidget<QTextEdit>("MainText")) {
                     edit->setTextColor(Qt::black);
                     edit->setPlainText(edit->toPlainText());
                 }
                 if (auto *counter = w.findWidget<QLabel>("CharacterCounter"))
                     counter->setStyleSheet(QStringLiteral("color: black"));
             }},
        };
    if (pWindow == QLatin1String("UiWebWindowAdvanced"))
        return {
            {QString(), QString(), -1,
             [](GalleryWindow &w) {
                 w.hideAll({"ErrorLabel"});
                 if (auto *edit = w.findWidget<QLineEdit>("UrlText"))
                     edit->setPlaceholderText(QStringLiteral("https://www.velmorant.example"));
             }},
            {QStringLiteral("-error"), QString(), -1,
             [](GalleryWindow &w) {
                 w.text("UrlText", QStringLiteral("htp://intranet/planning"));
                 if (auto *edit = w.findWidget<QLineEdit>("UrlText"))
                     edit->setStyleSheet(QLatin1String(UiCustomLineEdit::kFocusedStyleSheet));
                 w.text("ErrorLabel", UiFreeWindow::tr("URL invalide"));
             }},
        };
    if (pWindow == QLatin1String("UiConfigurationWindow"))
        return {
            {QString(), QString(), -1, settingsAtRest},
            {QStringLiteral("-admin"), QString(), -1,
             [](GalleryWindow &w) {
                 settingsAtRest(w);
                 w.hideAll({"ButtonNetworkFileImport"});
                 w.showAll({"NetworkFileImportAdminAlertText", "ButtonNetworkFileImportAdmin",
                            "ButtonNetworkFileImportAdminText", "LanguageChangeWarningText"});
                 if (auto *button = w.findWidget<UiCustomButton>("ButtonNetworkFileImportAdminText"))
                     button->setButtonText(QStringLiteral("Confirm"));
                 w.picture("WidgetOnTop", kSwitchOn);
             }},
            {QStringLiteral("-imported"), QString(), -1,
             [](GalleryWindow &w) {
                 settingsAtRest(w);
                 w.showAll({"NetworkFileImportInfoText"});
             }},
        };
    if (pWindow == QLatin1String("UiConfigurationWindowAdvanced"))
        return {{QString(), QString(), -1, settingsAtRest}};
    return {{QString(), QString(), -1, [](GalleryWindow &) {}}};
}

// The gallery's windows have none of the window classes' slots; saying so for
// every button would bury the warnings that matter (pictures that do not load).
void quietHandler(QtMsgType pType, const QMessageLogContext &pContext, const QString &pMessage)
{
    if (pType == QtDebugMsg || pMessage.contains(QLatin1String("has no slot")))
        return;
    std::fprintf(stderr, "%s: %s\n", pContext.category ? pContext.category : "", qPrintable(pMessage));
}

// The window on a neutral backdrop, so its rounded edges and translucency show.
QImage onBackdrop(const QPixmap &pWindow, int pMargin)
{
    QImage canvas(pWindow.size() + QSize(2 * pMargin, 2 * pMargin), QImage::Format_ARGB32);
    canvas.fill(QColor(0x8a, 0x90, 0x9a));
    QPainter painter(&canvas);
    painter.drawPixmap(pMargin, pMargin, pWindow);
    return canvas;
}

} // namespace

int main(int argc, char *argv[])
{
    double factor = 1.0;
    QString outDir = QStringLiteral(".");
    QString catalogue;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray option = argv[i];
        if (option == "--factor")
            factor = QByteArray(argv[i + 1]).toDouble();
        else if (option == "--out")
            outDir = QString::fromLocal8Bit(argv[i + 1]);
        else if (option == "--catalogue")
            catalogue = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (factor <= 0.0) {
        std::fprintf(stderr, "window-gallery: bad --factor\n");
        return 2;
    }
    // One offscreen screen whose logical DPI gives the factor.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_FONT_DPI", QByteArray::number(qRound(96.0 * factor)));
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
    qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    QFontDatabase::addApplicationFont(QStringLiteral(":/MainWidget/Muli-Regular.ttf"));
    QTranslator translator;
    if (!catalogue.isEmpty() && translator.load(catalogue))
        QCoreApplication::installTranslator(&translator);
    QDir().mkpath(outDir);

    WindowDescriptionFile description;
    description.load();
    const QString suffix = qFuzzyCompare(factor, 1.0) ? QString() : QStringLiteral("@%1x").arg(factor);
    int written = 0;
    for (const QString &name : description.windowNames()) {
        for (const View &view : viewsOf(name)) {
            GalleryWindow window;
            window.code = view.code.isEmpty() ? QStringLiteral("_____") : view.code;
            window.cursor = view.cursor;
            window.setWindowName(name.toStdString());
            window.buildWindow();
            window.move(0, 0);
            window.show(); // the first move scales the window for the screen
            QCoreApplication::processEvents();
            view.setup(window);
            QCoreApplication::processEvents();
            const QString file = QDir(outDir).filePath(name + view.suffix + suffix + QStringLiteral(".png"));
            if (!onBackdrop(window.grab(), 24).save(file)) {
                std::fprintf(stderr, "window-gallery: cannot write %s\n", qPrintable(file));
                return 1;
            }
            ++written;
        }
    }
    std::printf("window-gallery: %d pictures at factor %.2f in %s\n", written, factor, qPrintable(outDir));
    return written > 0 ? 0 : 1;
}
