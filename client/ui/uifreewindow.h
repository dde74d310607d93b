// SPDX-License-Identifier: GPL-2.0-or-later
// Base of every client window: frameless, translucent, fixed size, built
// from the window description by a widget factory, dragged by its background
// or its buttons, and scaled by the logical DPI of the screen it stands on.
// GUI thread only.
#pragma once

#include "widgetdescription.h"
#include "widgetfactory.h"
#include "windowdescriptionfile.h"

#include <QMainWindow>
#include <QPoint>
#include <QSize>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

class UiFreeWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit UiFreeWindow(QWidget *parent = nullptr);
    ~UiFreeWindow() override;

    // The "WindowsName" the next buildWindow() uses.
    void setWindowName(const std::string &pName);
    const std::string &windowName() const { return m_windowName; }

    // Creates the content from the description (read again on every build).
    // A previous build's widgets are disposed of.
    void buildWindow();

    // The widget created for a description "Name"; with duplicates, the one
    // created last. Null when the last build had none of that name.
    QWidget *findWidget(const std::string &pName) const;
    template <class T> T *findWidget(const std::string &pName) const { return qobject_cast<T *>(findWidget(pName)); }

    float scaleFactor() const { return m_scaleFactor; }
    int currentScreen() const { return m_currentScreen; }

    // A key a child widget does not handle; the default discards it.
    virtual void childKeyPressEvent(QKeyEvent *pEvent);

    // The buttons call these so a press on a button can drag the window.
    void childMousePressEvent(QWidget *pChild, QMouseEvent *pEvent);
    void childMouseMoveEvent(QWidget *pChild, QMouseEvent *pEvent);
    void childMouseReleaseEvent(QWidget *pChild, QMouseEvent *pEvent);

    // The scaling arithmetic, shared by the factory and adaptToScreen.
    static float factorForDpi(qreal pLogicalDpi);
    static int scaled(int pValue, float pFactor);
    static WidgetDescription scaledDescription(const WidgetDescription &pDescription, float pFactor);
    // Whether a window whose four corners lie on pCornerScreens must be scaled
    // again, given the screen and factor it was last scaled for.
    static bool needsRescale(const std::array<int, 4> &pCornerScreens, int pCurrentScreen, float pScaleFactor);

protected slots:
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void keyPressEvent(QKeyEvent *pEvent) override;

protected:
    void moveEvent(QMoveEvent *pEvent) override;
    void resizeEvent(QResizeEvent *pEvent) override;

    // Hooks for subclasses, after childKeyPressEvent above.
    // A widget of a kind the factory does not know; the record is scaled.
    virtual QWidget *createCustomWidget(const WidgetDescription &pDescription, QWidget *pParent);
    // End of every build, after all widgets exist.
    virtual void onWindowBuilt();

    // Scales the window and every factory widget for pFactor (what a move
    // onto a screen of that DPI does), remembering pScreen.
    void applyScale(int pScreen, float pFactor);

private:
    void adaptToScreen();
    void createChildren(const std::vector<WidgetDescription> &pRecords, QWidget *pParent);
    QWidget *createWidget(const WidgetDescription &pRecord, QWidget *pParent);
    void rescaleWidget(QObject *pObject);
    void startDrag(const QPoint &pGlobal);
    void followDrag(const QPoint &pGlobal);

    QPoint m_dragOffset;
    bool m_dragging = false;
    bool m_moved = false;
    std::map<std::string, QWidget *> m_namedWidgets;
    std::map<QWidget *, WidgetDescription> m_widgetDescriptions;
    int m_windowWidth = 0;
    int m_windowHeight = 0;
    std::vector<WidgetDescription> m_records;
    std::string m_windowName;
    std::unique_ptr<WindowDescriptionFile> m_descriptionFile;
    WidgetFactory m_factory;
    int m_currentScreen = 0;
    float m_scaleFactor = 1.0f;
    bool m_adapting = false;
};
