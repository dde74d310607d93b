// SPDX-License-Identifier: GPL-2.0-or-later
#include "uifreewindow.h"

#include "renderimage.h"
#include "uiconfigbutton.h"
#include "uicustombutton.h"
#include "uicustomlineedit.h"
#include "uilogging.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QMovie>
#include <QScreen>
#include <QTextEdit>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Qt's own measure: a logical DPI of 96 is factor 1.
constexpr qreal kBaseDpi = 96.0;

// Far above any text of the client; a larger size in a damaged description
// would have the font engine build glyphs of gigabytes.
constexpr int kMaxPixelSize = 1024;

void setPixelFont(QWidget *pWidget, int pPixels)
{
    if (pPixels <= 0)
        return;
    if (pPixels > kMaxPixelSize) {
        qCWarning(lcUi) << "font size" << pPixels << "of" << pWidget->objectName() << "limited to" << kMaxPixelSize;
        pPixels = kMaxPixelSize;
    }
    QFont font = pWidget->font();
    font.setPixelSize(pPixels);
    pWidget->setFont(font);
}

// Index of the screen holding pPoint; points on no screen count for the
// primary one, as the desktop's screen numbering does.
int screenNumber(const QPoint &pPoint)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    QScreen *screen = QGuiApplication::screenAt(pPoint);
    const int index = screen ? screens.indexOf(screen) : screens.indexOf(QGuiApplication::primaryScreen());
    return std::max(index, 0);
}

} // namespace

UiFreeWindow::UiFreeWindow(QWidget *parent) : QMainWindow(parent, Qt::WindowFlags())
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAcceptDrops(true);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::FramelessWindowHint);
    m_dragging = false;

    QFont font;
    font.setFamily(QStringLiteral("Muli"));
    font.setWeight(QFont::Normal);
    font.setStyle(QFont::StyleNormal);
    font.setPixelSize(14);
    QApplication::setFont(font);
}

UiFreeWindow::~UiFreeWindow() = default;

void UiFreeWindow::setWindowName(const std::string &pName)
{
    m_windowName = pName;
}

float UiFreeWindow::factorForDpi(qreal pLogicalDpi)
{
    return static_cast<float>(pLogicalDpi / kBaseDpi);
}

int UiFreeWindow::scaled(int pValue, float pFactor)
{
    // Truncated toward zero; clamped so a broken description cannot overflow.
    const double product = static_cast<double>(static_cast<float>(pValue) * pFactor);
    if (std::isnan(product))
        return 0;
    if (product >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (product <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(product);
}

WidgetDescription UiFreeWindow::scaledDescription(const WidgetDescription &pDescription, float pFactor)
{
    WidgetDescription copy = pDescription;
    copy.x = scaled(copy.x, pFactor);
    copy.y = scaled(copy.y, pFactor);
    copy.width = scaled(copy.width, pFactor);
    copy.height = scaled(copy.height, pFactor);
    copy.imageWidth = scaled(copy.imageWidth, pFactor);
    copy.imageHeight = scaled(copy.imageHeight, pFactor);
    copy.titleMarginLeft = scaled(copy.titleMarginLeft, pFactor);
    copy.titleMarginTop = scaled(copy.titleMarginTop, pFactor);
    copy.descriptionMarginLeft = scaled(copy.descriptionMarginLeft, pFactor);
    copy.descriptionMarginTop = scaled(copy.descriptionMarginTop, pFactor);
    copy.fontSize = scaled(copy.fontSize, pFactor);
    return copy;
}

bool UiFreeWindow::needsRescale(const std::array<int, 4> &pCornerScreens, int pCurrentScreen, float pScaleFactor)
{
    const bool oneScreen = std::all_of(pCornerScreens.begin(), pCornerScreens.end(),
                                       [&](int pScreen) { return pScreen == pCornerScreens[0]; });
    return (oneScreen && pCornerScreens[0] != pCurrentScreen) || pScaleFactor <= 0.1f;
}

void UiFreeWindow::buildWindow()
{
    m_scaleFactor = 1.0f;
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (!screens.isEmpty()) {
        float largest = 0.0f;
        for (QScreen *screen : screens)
            largest = std::max(largest, factorForDpi(screen->logicalDotsPerInch()));
        m_scaleFactor = largest;
    }

    m_descriptionFile = std::make_unique<WindowDescriptionFile>();
    m_descriptionFile->load();
    const WindowDescription description = m_descriptionFile->windowDescription(QString::fromStdString(m_windowName));
    m_windowWidth = description.width;
    m_windowHeight = description.height;
    m_records = description.children;

    // The previous build goes entirely, even when the new description has no
    // top-level label to take its place. Later, because a button of the old
    // build may be the one whose click led here.
    m_namedWidgets.clear();
    m_widgetDescriptions.clear();
    if (QWidget *previous = takeCentralWidget()) {
        previous->hide();
        previous->deleteLater();
    }

    setFixedSize(std::max(m_windowWidth, 0), std::max(m_windowHeight, 0));
    createChildren(m_records, this);
    onWindowBuilt();

    // The next move or resize scales the window for the screen it is on.
    m_scaleFactor = 0.0f;
}

QWidget *UiFreeWindow::findWidget(const std::string &pName) const
{
    const auto found = m_namedWidgets.find(pName);
    return found == m_namedWidgets.end() ? nullptr : found->second;
}

void UiFreeWindow::createChildren(const std::vector<WidgetDescription> &pRecords, QWidget *pParent)
{
    for (const WidgetDescription &record : pRecords)
        createWidget(record, pParent);
}

QWidget *UiFreeWindow::createWidget(const WidgetDescription &pRecord, QWidget *pParent)
{
    const WidgetDescription s = scaledDescription(pRecord, m_scaleFactor);
    const QRect geometry(s.x, s.y, s.width, s.height);
    QWidget *widget = nullptr;

    if (s.type == QLatin1String("QLabel")) {
        QLabel *label = nullptr;
        if (pParent == this) {
            label = new QLabel();
            setCentralWidget(label); // disposes of a central widget made before
        } else {
            label = new QLabel(pParent);
        }
        label->setScaledContents(true);
        label->setGeometry(geometry);
        label->setPixmap(renderImage(s.backgroundImage, s.width, s.height));
        if (!s.text.isEmpty())
            label->setText(tr(s.text.toUtf8().constData()));
        setPixelFont(label, s.fontSize);
        if (!s.fontColor.isEmpty())
            label->setStyleSheet(QStringLiteral("QLabel { color : ") + s.fontColor + QStringLiteral("  }"));
        if (s.alignment == QLatin1String("Left"))
            label->setAlignment(Qt::AlignLeft);
        else if (s.alignment == QLatin1String("Center"))
            label->setAlignment(Qt::AlignCenter);
        else if (s.alignment == QLatin1String("Right"))
            label->setAlignment(Qt::AlignRight);
        if (!s.movie.isEmpty()) {
            auto *movie = new QMovie(s.movie, QByteArray(), label);
            if (!movie->isValid())
                qCWarning(lcUi) << "cannot load the animation" << s.movie;
            // Frames decoded at the label's size are scaled smoothly; the
            // label's own scaling of a movie is nearest-neighbour.
            movie->setScaledSize(QSize(s.width, s.height));
            label->setMovie(movie);
            movie->start();
        }
        widget = label;
    } else if (s.type == QLatin1String("UiCustomButton")) {
        auto *button = new UiCustomButton(pParent);
        button->setWindow(this);
        button->setGeometry(geometry);
        button->setToolTipText(s.toolTipText);
        button->setFontColor(s.fontColor);
        if (!s.text.isEmpty())
            button->setButtonText(s.text);
        button->setBackgroundImage(s.backgroundImage);
        button->setBackgroundImage2(s.backgroundImage2);
        button->setBackgroundImage3(s.backgroundImage3);
        button->setImage(s.backgroundImage);
        if (s.fontSize != 0)
            button->setFontSize(s.fontSize);
        button->layoutTextLabel();
        button->setTextAlignment(Qt::AlignCenter);
        connectSlot(button, s.slot);
        widget = button;
    } else if (s.type == QLatin1String("ButtonWithLabel")) {
        auto *button = new UiConfigButton(pParent);
        button->setGeometry(geometry);
        button->setImage(s.image);
        button->setTitle(tr(s.titleText.toUtf8().constData()));
        button->setDescription(tr(s.descriptionText.toUtf8().constData()));
        button->setWindow(this);
        button->setClickable(s.enable);
        button->setImageSize(s.imageWidth, s.imageHeight);
        button->setTitleMarginLeft(s.titleMarginLeft);
        button->setTitleMarginTop(s.titleMarginTop);
        button->setDescriptionMarginLeft(s.descriptionMarginLeft);
        button->setDescriptionMarginTop(s.descriptionMarginTop);
        button->setTitleFontSize(s.titleFontSize);
        button->setDescriptionFontSize(s.descriptionFontSize);
        button->setTitleFontColor(s.titleFontColor);
        button->setDescriptionFontColor(s.descriptionFontColor);
        connectSlot(button, s.slot);
        setPixelFont(button, s.fontSize);
        widget = button;
    } else if (s.type == QLatin1String("QComboBox") || s.type == QLatin1String("QLineEdit") ||
               s.type == QLatin1String("QTextEdit") || s.type == QLatin1String("UiCustomLineEdit")) {
        if (s.type == QLatin1String("QComboBox"))
            widget = new QComboBox(pParent);
        else if (s.type == QLatin1String("QLineEdit"))
            widget = new QLineEdit(pParent);
        else if (s.type == QLatin1String("QTextEdit"))
            widget = new QTextEdit(pParent);
        else
            widget = new UiCustomLineEdit(pParent);
        widget->setGeometry(geometry);
        widget->setStyleSheet(s.styleSheet);
        setPixelFont(widget, s.fontSize);
    } else {
        widget = createCustomWidget(s, pParent);
        if (!widget)
            qCWarning(lcUi) << "window" << QString::fromStdString(m_windowName) << ": no widget of kind" << s.type
                            << "for" << s.name << "; its children are skipped";
    }

    if (!widget)
        return nullptr;
    if (!s.name.isEmpty()) {
        widget->setObjectName(s.name);
        m_namedWidgets[s.name.toStdString()] = widget; // the last of a name wins
    }
    createChildren(pRecord.children, widget);
    m_widgetDescriptions[widget] = pRecord;
    return widget;
}

void UiFreeWindow::connectSlot(QObject *pSender, const QString &pSlot)
{
    if (pSlot.isEmpty())
        return;
    const QByteArray signature = QMetaObject::normalizedSignature(pSlot.toUtf8().constData());
    const int slotIndex = metaObject()->indexOfSlot(signature.constData());
    if (slotIndex < 0) {
        qCWarning(lcUi) << "window" << QString::fromStdString(m_windowName) << "has no slot" << pSlot
                        << "; the button stays unconnected";
        return;
    }
    const int signalIndex = pSender->metaObject()->indexOfSignal("clicked()");
    QObject::connect(pSender, pSender->metaObject()->method(signalIndex), this, metaObject()->method(slotIndex),
                     Qt::AutoConnection);
}

void UiFreeWindow::moveEvent(QMoveEvent *pEvent)
{
    QMainWindow::moveEvent(pEvent);
    adaptToScreen();
}

void UiFreeWindow::resizeEvent(QResizeEvent *pEvent)
{
    QMainWindow::resizeEvent(pEvent);
    adaptToScreen();
}

void UiFreeWindow::adaptToScreen()
{
    if (m_adapting)
        return;
    const QRect g = geometry();
    const std::array<int, 4> corners = {
        screenNumber(QPoint(g.x(), g.y())), screenNumber(QPoint(g.x() + g.width(), g.y())),
        screenNumber(QPoint(g.x(), g.y() + g.height())), screenNumber(QPoint(g.x() + g.width(), g.y() + g.height()))};
    if (!needsRescale(corners, m_currentScreen, m_scaleFactor))
        return;
    const QList<QScreen *> screens = QGuiApplication::screens();
    const int screen = corners[3];
    if (screen < 0 || screen >= screens.size())
        return;
    applyScale(screen, factorForDpi(screens.at(screen)->logicalDotsPerInch()));
}

void UiFreeWindow::applyScale(int pScreen, float pFactor)
{
    m_adapting = true; // setFixedSize may deliver a resize event at once
    m_currentScreen = pScreen;
    setFixedSize(std::max(scaled(m_windowWidth, pFactor), 0), std::max(scaled(m_windowHeight, pFactor), 0));
    m_scaleFactor = pFactor;
    const QObjectList directChildren = children();
    for (QObject *child : directChildren)
        rescaleWidget(child);
    m_adapting = false;
    update();
}

void UiFreeWindow::rescaleWidget(QObject *pObject)
{
    auto *widget = qobject_cast<QWidget *>(pObject);
    const auto found = widget ? m_widgetDescriptions.find(widget) : m_widgetDescriptions.end();
    if (found == m_widgetDescriptions.end())
        return;
    const WidgetDescription s = scaledDescription(found->second, m_scaleFactor);
    widget->setGeometry(s.x, s.y, s.width, s.height);
    if (s.type == QLatin1String("ButtonWithLabel")) {
        if (auto *button = qobject_cast<UiConfigButton *>(widget)) {
            button->setTitleMarginLeft(s.titleMarginLeft);
            button->setTitleMarginTop(s.titleMarginTop);
            button->setDescriptionMarginLeft(s.descriptionMarginLeft);
            button->setDescriptionMarginTop(s.descriptionMarginTop);
        }
    } else if (s.type == QLatin1String("UiCustomButton")) {
        if (auto *button = qobject_cast<UiCustomButton *>(widget))
            button->layoutTextLabel();
    }
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        if (QMovie *movie = label->movie())
            movie->setScaledSize(QSize(s.width, s.height));
    }
    setPixelFont(widget, s.fontSize);
    const QObjectList grandChildren = widget->children();
    for (QObject *child : grandChildren)
        rescaleWidget(child);
}

void UiFreeWindow::startDrag(const QPoint &pGlobal)
{
    m_dragOffset = pGlobal - pos();
    m_dragging = true;
    m_moved = false;
}

void UiFreeWindow::followDrag(const QPoint &pGlobal)
{
    if (!m_dragging)
        return;
    move(pGlobal - m_dragOffset);
    m_moved = true;
}

void UiFreeWindow::mousePressEvent(QMouseEvent *pEvent)
{
    pEvent->accept();
    startDrag(mapToGlobal(pEvent->pos()));
}

void UiFreeWindow::mouseMoveEvent(QMouseEvent *pEvent)
{
    followDrag(mapToGlobal(pEvent->pos()));
}

void UiFreeWindow::mouseReleaseEvent(QMouseEvent *pEvent)
{
    pEvent->accept();
    m_dragging = false;
}

// A child's event position goes through the window's own mapping: press and
// moves are offset alike, so the window follows the cursor exactly.
void UiFreeWindow::childMousePressEvent(QWidget *, QMouseEvent *pEvent)
{
    pEvent->accept();
    startDrag(mapToGlobal(pEvent->pos()));
}

void UiFreeWindow::childMouseMoveEvent(QWidget *, QMouseEvent *pEvent)
{
    followDrag(mapToGlobal(pEvent->pos()));
}

void UiFreeWindow::childMouseReleaseEvent(QWidget *, QMouseEvent *pEvent)
{
    pEvent->accept();
    m_dragging = false;
}

void UiFreeWindow::keyPressEvent(QKeyEvent *pEvent)
{
    pEvent->accept(); // keys have no meaning here unless a subclass gives them one
}

void UiFreeWindow::childKeyPressEvent(QKeyEvent *pEvent)
{
    keyPressEvent(pEvent);
}

QWidget *UiFreeWindow::createCustomWidget(const WidgetDescription &, QWidget *)
{
    return nullptr;
}

void UiFreeWindow::onWindowBuilt() {}
