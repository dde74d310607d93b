// SPDX-License-Identifier: GPL-2.0-or-later
#include "widgetdescription.h"

#include "windowdescriptionfile.h"

#include <cmath>
#include <limits>

QString WidgetDescription::stringValue(const char *pKey) const
{
    if (!object.isObject() || !object.isMember(pKey))
        return QString();
    return WindowDescriptionFile::textOf(object[pKey]);
}

int WidgetDescription::intValue(const char *pKey, int pDefault) const
{
    if (!object.isObject() || !object.isMember(pKey))
        return pDefault;
    const Json::Value &value = object[pKey];
    if (value.isBool())
        return value.asBool() ? 1 : 0;
    if (value.isInt())
        return value.asInt();
    if (value.isNumeric()) {
        const double number = value.asDouble();
        if (std::isnan(number))
            return 0;
        if (number >= static_cast<double>(std::numeric_limits<int>::max()))
            return std::numeric_limits<int>::max();
        if (number <= static_cast<double>(std::numeric_limits<int>::min()))
            return std::numeric_limits<int>::min();
        return static_cast<int>(number);
    }
    return pDefault;
}
