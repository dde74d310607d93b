// SPDX-License-Identifier: GPL-2.0-or-later
// Builds the widgets of the kinds a window description names (labels, the two
// custom buttons, combo boxes and text fields) from an already scaled record,
// and scales them again when their window moves to a screen of another DPI.
// Buttons are wired to the named slot of the window they belong to.
// GUI thread only.
#pragma once

#include "widgetdescription.h"

#include <QString>

class QObject;
class QWidget;
class UiFreeWindow;

class WidgetFactory {
public:
    // pWindow owns the widgets built, receives the buttons' clicks, and takes
    // a label built at its top level as its central widget.
    explicit WidgetFactory(UiFreeWindow *pWindow);

    // The widget for pScaled, a child of pParent; null for a kind it does
    // not know. Neither names the widget nor builds its children.
    QWidget *create(const WidgetDescription &pScaled, QWidget *pParent) const;

    // Applies pScaled to a widget create() built from the same record.
    static void rescale(QWidget *pWidget, const WidgetDescription &pScaled);

    // Sets the font's pixel size; 0 or less leaves the font, and sizes above
    // a sane bound are clamped with a warning.
    static void setPixelFont(QWidget *pWidget, int pPixels);
    static constexpr int kMaxPixelSize = 1024;

private:
    QWidget *createLabel(const WidgetDescription &pScaled, QWidget *pParent) const;
    QWidget *createCustomButton(const WidgetDescription &pScaled, QWidget *pParent) const;
    QWidget *createConfigButton(const WidgetDescription &pScaled, QWidget *pParent) const;
    void connectSlot(QObject *pSender, const QString &pSlot) const;

    UiFreeWindow *m_window;
};
