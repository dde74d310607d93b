// SPDX-License-Identifier: GPL-2.0-or-later
// Files the session window makes or names for the room: internet shortcuts
// for dropped web links, local captures and the proposed name of a saved
// room capture. Pure functions over a folder and a time; any thread.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Velmorant::Advanced {

// Writes "url_yyyyMMdd_hhmmss.url" (with "_2", "_3", ... before ".url" when
// that name is taken) into pFolder: the shortcut's two lines. Empty on failure.
QString createWebLinkFile(const QString &pFolder, const QString &pUrl, const QDateTime &pNow);

// pFolder/yyyyMMdd_hhmmss <suffix>.png
QString localCapturePath(const QString &pFolder, const QDateTime &pNow, const QString &pSuffix);

// pLastFolder<separator>yyyyMMdd <suffix>.png, cleaned.
QString proposedRoomCaptureName(const QString &pLastFolder, const QDate &pToday, const QString &pSuffix);

// "(*.pdf *.png)" for the dialog's filter; empty for no extensions.
QString extensionPatterns(const QStringList &pExtensions);

// Whether a dropped or dragged local file's extension is one the room takes.
bool isAllowedFile(const QString &pPath, const QStringList &pAllowedExtensions);

// A dragged URL that is a web link rather than a file.
bool isWebLink(const QString &pLocalPath, const QString &pUrlText);

} // namespace Velmorant::Advanced
