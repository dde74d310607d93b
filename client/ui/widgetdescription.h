// SPDX-License-Identifier: GPL-2.0-or-later
// One widget object of the window description, read into typed values.
// Pixel values are those of a 96-DPI screen; the free window scales a copy.
#pragma once

#include <QString>
#include <json/value.h>

#include <vector>

struct WidgetDescription {
    QString name;
    QString type;
    QString style;

    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    QString backgroundImage;
    QString backgroundImage2;
    QString backgroundImage3;
    QString backgroundImageMouseOver;
    QString movie;
    QString slot;

    int fontSize = 0; // pixels; 0 keeps the inherited size
    QString fontColor;
    QString text;
    QString alignment = QStringLiteral("Left");
    QString toolTipText;
    QString styleSheet;

    // ButtonWithLabel
    QString titleText;
    QString descriptionText;
    QString image;
    bool hasImageSize = false; // "ImageSize" held at least two parts
    int imageWidth = 0;
    int imageHeight = 0;
    bool enable = true;
    int titleMarginLeft = 0;
    int titleMarginTop = 0;
    int descriptionMarginLeft = 0;
    int descriptionMarginTop = 0;
    int titleFontSize = 10;       // points, never scaled
    int descriptionFontSize = 10; // points, never scaled
    QString titleFontColor = QStringLiteral("white");
    QString descriptionFontColor = QStringLiteral("white");

    // The widget object after the style merge, for keys the fields above do
    // not cover ("CaracterMargin", "BackgroundCursorImage", "WaitingImage"...).
    Json::Value object;

    std::vector<WidgetDescription> children;

    // Text form of a key of the merged object ("" when absent or not a scalar).
    QString stringValue(const char *pKey) const;
    // Integer value of a key of the merged object (pDefault when absent or
    // not a number).
    int intValue(const char *pKey, int pDefault = 0) const;
};
