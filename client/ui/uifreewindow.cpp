// SPDX-License-Identifier: GPL-2.0-or-later
#include "uifreewindow.h"

#include "uilog.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Qt's own measure: a logical DPI of 96 is factor 1.
constexpr qreal kBaseDpi = 96.0;

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

UiFreeWindow::UiFreeWindow(QWidget *parent) : QMainWindow(parent, Qt::WindowFlags()), m_factory(this)
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
    QWidget *widget = m_factory.create(s, pParent);
    if (!widget) {
        widget = createCustomWidget(s, pParent);
        if (!widget) {
            qCWarning(lcUi) << "window" << QString::fromStdString(m_windowName) << ": no widget of kind" << s.type
                            << "for" << s.name << "; its children are skipped";
            return nullptr;
        }
    }
    if (!s.name.isEmpty()) {
        widget->setObjectName(s.name);
        m_namedWidgets[s.name.toStdString()] = widget; // the last of a name wins
    }
    createChildren(pRecord.children, widget);
    m_widgetDescriptions[widget] = pRecord;
    return widget;
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
    WidgetFactory::rescale(widget, scaledDescription(found->second, m_scaleFactor));
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
