// SPDX-License-Identifier: GPL-2.0-or-later
// The window description document: one JSON file naming every window of the
// client and the widgets it holds. Read from the resource bundle, or from
// Resources/windows.json in the working directory when that file exists, so
// a layout can be changed without rebuilding.
#pragma once

#include "windowdescription.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <json/value.h>

#include <map>
#include <string>
#include <vector>

class WindowDescriptionFile {
public:
    // Reads the document and collects its styles. A missing or unparsable
    // document behaves as an empty one; false tells that case.
    bool load();
    bool loadFromData(const QByteArray &pData);

    // The file load() reads.
    static QString descriptionPath();

    // Every "WindowsName" of the document, in document order.
    QStringList windowNames() const;

    // The window object named pName, or null.
    const Json::Value *findWindow(const QString &pName) const;
    // Size and widgets of pName; 0 x 0 without widgets when it is not found.
    WindowDescription windowDescription(const QString &pName) const;

    std::vector<WidgetDescription> parseChildren(const Json::Value &pArray) const;
    Json::Value applyStyle(const Json::Value &pObject) const;

    // "a, b,,c" -> parts trimmed and read as base-10 integers, empty parts
    // kept, anything not a number giving 0.
    static std::vector<int> numberList(const QString &pText);
    // Text form of a scalar JSON value: strings as they are, booleans as
    // "true"/"false", numbers in decimal; null, arrays and objects as "".
    static QString textOf(const Json::Value &pValue);

private:
    WidgetDescription parseWidget(const Json::Value &pObject) const;
    QString readString(const Json::Value &pObject, const char *pKey, const QString &pDefault) const;
    int readInt(const Json::Value &pObject, const char *pKey, int pDefault) const;

    Json::Value m_document;
    std::map<std::string, Json::Value> m_styles;

    // Names for warnings about malformed values while a window is parsed.
    mutable QString m_parsedWindow;
    mutable QString m_parsedWidget;
};
