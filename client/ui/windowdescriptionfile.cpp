// SPDX-License-Identifier: GPL-2.0-or-later
#include "windowdescriptionfile.h"

#include "uilog.h"

#include <QFile>
#include <QStringList>
#include <json/reader.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

const char kResourcePath[] = ":/MainWidget/windows.json";
const char kOverridePath[] = "Resources/windows.json";

// Member of an object, or null for anything that is not an object: jsoncpp
// throws when a non-object is indexed by name.
const Json::Value &member(const Json::Value &pObject, const char *pKey)
{
    static const Json::Value null;
    if (!pObject.isObject())
        return null;
    const Json::Value *found = pObject.find(pKey, pKey + std::char_traits<char>::length(pKey));
    return found ? *found : null;
}

int clampToInt(double pValue)
{
    if (std::isnan(pValue))
        return 0;
    if (pValue >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (pValue <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(pValue);
}

} // namespace

QString WindowDescriptionFile::descriptionPath()
{
    return QFile::exists(QLatin1String(kOverridePath)) ? QString::fromLatin1(kOverridePath)
                                                       : QString::fromLatin1(kResourcePath);
}

bool WindowDescriptionFile::load()
{
    const QString path = descriptionPath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qCWarning(lcUi) << "cannot open the window description" << path << file.errorString();
        return loadFromData(QByteArray());
    }
    const bool parsed = loadFromData(file.readAll());
    if (!parsed)
        qCWarning(lcUi) << "the window description" << path << "does not parse; no window is described";
    return parsed;
}

bool WindowDescriptionFile::loadFromData(const QByteArray &pData)
{
    m_document = Json::Value();
    m_styles.clear();

    // Decoding through QString replaces invalid UTF-8 instead of passing it on.
    const std::string text = QString::fromUtf8(pData).toStdString();
    Json::CharReaderBuilder builder; // lenient: comments allowed, any root
    builder["collectComments"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    const bool parsed = !text.empty() && reader->parse(text.data(), text.data() + text.size(), &root, &errors);
    if (!parsed)
        return false;
    m_document = root;

    const Json::Value &styles = member(m_document, "styles");
    if (styles.isArray()) {
        for (const Json::Value &style : styles) {
            if (style.isObject())
                m_styles[textOf(member(style, "Name")).toStdString()] = style; // a later namesake wins
        }
    }
    return true;
}

QStringList WindowDescriptionFile::windowNames() const
{
    QStringList names;
    const Json::Value &windows = member(m_document, "windows");
    if (windows.isArray()) {
        for (const Json::Value &window : windows)
            names << textOf(member(window, "WindowsName"));
    }
    return names;
}

const Json::Value *WindowDescriptionFile::findWindow(const QString &pName) const
{
    const Json::Value &windows = member(m_document, "windows");
    if (!windows.isArray())
        return nullptr;
    for (const Json::Value &window : windows) {
        const QString name = textOf(member(window, "WindowsName"));
        if (name == pName)
            return &window;
    }
    return nullptr;
}

WindowDescription WindowDescriptionFile::windowDescription(const QString &pName) const
{
    WindowDescription description;
    const Json::Value *window = findWindow(pName);
    if (!window) {
        qCWarning(lcUi) << "no window" << pName << "in the window description";
        return description;
    }
    const std::vector<int> size = numberList(textOf(member(*window, "Size")));
    description.width = size.size() > 0 ? size[0] : 0;
    description.height = size.size() > 1 ? size[1] : 0;
    m_parsedWindow = pName;
    description.children = parseChildren(member(*window, "children"));
    m_parsedWindow.clear();
    return description;
}

std::vector<WidgetDescription> WindowDescriptionFile::parseChildren(const Json::Value &pArray) const
{
    std::vector<WidgetDescription> records;
    if (pArray.isNull())
        return records;
    if (!pArray.isArray()) {
        qCWarning(lcUi) << "window" << m_parsedWindow << "widget" << m_parsedWidget
                        << ": \"children\" is not an array; ignored";
        return records;
    }
    for (const Json::Value &child : pArray) {
        if (!child.isObject()) {
            qCWarning(lcUi) << "window" << m_parsedWindow << ": a child of" << m_parsedWidget
                            << "is not an object; ignored";
            continue;
        }
        records.push_back(parseWidget(child));
    }
    return records;
}

Json::Value WindowDescriptionFile::applyStyle(const Json::Value &pObject) const
{
    Json::Value merged = pObject;
    const QString styleName = textOf(member(pObject, "Style"));
    if (styleName.isEmpty() || !pObject.isObject())
        return merged;
    const auto style = m_styles.find(styleName.toStdString());
    if (style == m_styles.end())
        return merged;
    for (const std::string &key : style->second.getMemberNames()) {
        if (key != "Name" && !merged.isMember(key))
            merged[key] = style->second[key];
    }
    return merged;
}

std::vector<int> WindowDescriptionFile::numberList(const QString &pText)
{
    std::vector<int> numbers;
    const QStringList parts = pText.split(QLatin1Char(','), Qt::KeepEmptyParts);
    numbers.reserve(parts.size());
    for (const QString &part : parts)
        numbers.push_back(part.trimmed().toInt(nullptr, 10)); // 0 when not a number
    return numbers;
}

QString WindowDescriptionFile::textOf(const Json::Value &pValue)
{
    switch (pValue.type()) {
    case Json::stringValue:
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
    case Json::booleanValue:
        return QString::fromStdString(pValue.asString());
    default:
        return QString();
    }
}

QString WindowDescriptionFile::readString(const Json::Value &pObject, const char *pKey, const QString &pDefault) const
{
    const Json::Value &value = member(pObject, pKey);
    if (value.isNull())
        return pDefault;
    if (value.isArray() || value.isObject()) {
        qCWarning(lcUi) << "window" << m_parsedWindow << "widget" << m_parsedWidget << "key" << pKey
                        << "holds an array or object where a text belongs; read as the default";
        return pDefault;
    }
    return textOf(value);
}

int WindowDescriptionFile::readInt(const Json::Value &pObject, const char *pKey, int pDefault) const
{
    const Json::Value &value = member(pObject, pKey);
    switch (value.type()) {
    case Json::nullValue:
        return pDefault;
    case Json::booleanValue:
        return value.asBool() ? 1 : 0;
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
        return value.isInt() ? value.asInt() : clampToInt(value.asDouble());
    default:
        qCWarning(lcUi) << "window" << m_parsedWindow << "widget" << m_parsedWidget << "key" << pKey << "holds a"
                        << (value.isString()  ? "string"
                            : value.isArray() ? "array"
                                              : "object")
                        << "where a number belongs; read as 0";
        return 0;
    }
}

WidgetDescription WindowDescriptionFile::parseWidget(const Json::Value &pObject) const
{
    WidgetDescription record;
    const Json::Value merged = applyStyle(pObject);
    const QString outerWidget = m_parsedWidget;
    m_parsedWidget = textOf(member(merged, "Name"));

    record.name = readString(merged, "Name", QString());
    record.type = readString(merged, "Type", QString());
    record.style = readString(merged, "Style", QString());

    const std::vector<int> geometry = numberList(readString(merged, "Geometry", QString()));
    record.x = geometry.size() > 0 ? geometry[0] : 0;
    record.y = geometry.size() > 1 ? geometry[1] : 0;
    record.width = geometry.size() > 2 ? geometry[2] : 0;
    record.height = geometry.size() > 3 ? geometry[3] : 0;

    record.backgroundImage = readString(merged, "BackgroundImage", QString());
    record.backgroundImage2 = readString(merged, "BackgroundImage2", QString());
    record.backgroundImage3 = readString(merged, "BackgroundImage3", QString());
    record.backgroundImageMouseOver = readString(merged, "BackgroundImageMouseOver", QString());
    record.movie = readString(merged, "Movie", QString());
    record.slot = readString(merged, "Slot", QString());
    record.fontSize = readInt(merged, "FontSize", 0);
    record.fontColor = readString(merged, "Fontcolor", QString());
    record.text = readString(merged, "Text", QString());
    record.alignment = readString(merged, "Alignment", QStringLiteral("Left"));
    record.toolTipText = readString(merged, "ToolTipText", QString());
    record.styleSheet = readString(merged, "StyleSheet", QString());

    record.titleText = readString(merged, "TitleText", QString());
    record.descriptionText = readString(merged, "DescriptionText", QString());
    record.image = readString(merged, "Image", QString());
    const std::vector<int> imageSize = numberList(readString(merged, "ImageSize", QString()));
    if (imageSize.size() >= 2) {
        record.hasImageSize = true;
        record.imageWidth = imageSize[0];
        record.imageHeight = imageSize[1];
    }
    record.enable = readString(merged, "Enable", QStringLiteral("true")).toLower() == QLatin1String("true");
    record.titleMarginLeft = readInt(merged, "TitleMarginLeft", 0);
    record.titleMarginTop = readInt(merged, "TitleMarginTop", 0);
    record.descriptionMarginLeft = readInt(merged, "DescriptionMarginLeft", 0);
    record.descriptionMarginTop = readInt(merged, "DescriptionMarginTop", 0);
    record.titleFontSize = readInt(merged, "TitleFontSize", 10);
    record.descriptionFontSize = readInt(merged, "DescriptionFontSize", 10);
    record.titleFontColor = readString(merged, "TitleFontColor", QStringLiteral("white"));
    record.descriptionFontColor = readString(merged, "DescriptionFontColor", QStringLiteral("white"));

    record.object = merged;
    record.children = parseChildren(member(merged, "children"));
    m_parsedWidget = outerWidget;
    return record;
}
