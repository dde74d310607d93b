// SPDX-License-Identifier: GPL-2.0-or-later
#include "settingsstore.h"

#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace Velmorant {
namespace {

const QLatin1String kScreenId("ScreenId");
const QLatin1String kUserName("UserName");
const QLatin1String kCapturePath("CapturePath");
const QLatin1String kOnTop("ConfigIsOnTop");
const QLatin1String kRemoteControl("ConfigRemoteControl");
const QLatin1String kLanguage("Langage");

void makeFolderOneLevel(const QString &path)
{
    if (!QDir(path).exists())
        QDir().mkdir(path);
}

} // namespace

bool ClientSettings::operator==(const ClientSettings &o) const
{
    return screenId == o.screenId && userName == o.userName && capturePath == o.capturePath &&
           configIsOnTop == o.configIsOnTop && configRemoteControl == o.configRemoteControl && language == o.language;
}

QString settingsFilePath()
{
    const QString base = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).value(0);
    return QDir::cleanPath(base + QDir::separator() + QStringLiteral("Velmorant Client") + QDir::separator() +
                           QStringLiteral("config.json"));
}

UserNameSources systemUserNameSources()
{
    UserNameSources sources;
    sources.displayName = QString::fromStdWString(Platform::displayUserName());
    sources.logonName = QString::fromStdWString(Platform::logonUserName());
    sources.user = qEnvironmentVariable("USER");
    sources.userName = qEnvironmentVariable("USERNAME");
    return sources;
}

QString firstUserName(const UserNameSources &sources)
{
    for (const QString *name : {&sources.displayName, &sources.logonName, &sources.user, &sources.userName}) {
        if (!name->isEmpty())
            return *name;
    }
    return QStringLiteral("User");
}

QString derivedUserName()
{
    return firstUserName(systemUserNameSources());
}

ClientSettings defaultSettings()
{
    ClientSettings s;
    s.screenId = 0;
    s.userName = derivedUserName();
    s.capturePath = QDir::cleanPath(QStandardPaths::standardLocations(QStandardPaths::PicturesLocation).value(0));
    s.configIsOnTop = false;
    s.configRemoteControl = true;
    s.language = QStringLiteral("Fran?ais");
    return s;
}

ClientSettings settingsFromJson(const QByteArray &json)
{
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    ClientSettings s;
    s.screenId = o.value(kScreenId).toInt();
    s.userName = o.value(kUserName).toString();
    s.capturePath = o.value(kCapturePath).toString();
    s.configIsOnTop = o.value(kOnTop).toBool();
    s.configRemoteControl = o.value(kRemoteControl).toBool();
    s.language = o.value(kLanguage).toString();
    return s;
}

QByteArray settingsToJson(const ClientSettings &s)
{
    QJsonObject o;
    o.insert(kScreenId, s.screenId);
    o.insert(kUserName, s.userName);
    o.insert(kCapturePath, s.capturePath);
    o.insert(kOnTop, s.configIsOnTop);
    o.insert(kRemoteControl, s.configRemoteControl);
    o.insert(kLanguage, s.language);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

SettingsStore::SettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

ClientSettings SettingsStore::read() const
{
    ClientSettings settings;
    QFile file(m_filePath);
    if (file.open(QIODevice::ReadOnly)) {
        settings = settingsFromJson(file.readAll());
        file.close();
    } else {
        settings = defaultSettings();
        write(settings);
    }
    makeFolderOneLevel(settings.capturePath);
    return settings;
}

bool SettingsStore::write(const ClientSettings &settings) const
{
    makeFolderOneLevel(QFileInfo(m_filePath).absolutePath());
    // Written through a temporary file so a crash never leaves half a file;
    // where the folder refuses new files, the file itself is replaced.
    QSaveFile file(m_filePath);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(settingsToJson(settings));
    return file.commit();
}

} // namespace Velmorant
