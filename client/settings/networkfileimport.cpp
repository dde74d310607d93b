// SPDX-License-Identifier: GPL-2.0-or-later
#include "networkfileimport.h"

#include "settingslog.h"
#include "writeprobe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Velmorant {
namespace {

// Streams the file so its size does not matter; the content is not examined.
bool copyInto(const QString &pSource, const QString &pTarget)
{
    // Opening a FIFO waits for a writer, which would hang the window.
    if (!QFileInfo(pSource).isFile()) {
        qCWarning(lcSettings) << "the network file" << pSource << "is not a regular file";
        return false;
    }
    QFile in(pSource);
    if (!in.open(QIODevice::ReadOnly)) {
        qCWarning(lcSettings) << "cannot read the network file" << pSource << ":" << in.errorString();
        return false;
    }
    // Written beside the target and renamed over it, so a failed copy never
    // costs the configuration already installed. Where the folder refuses
    // new files but the target is writable, it is written in place.
    QSaveFile out(pTarget);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly)) {
        qCWarning(lcSettings) << "cannot write" << pTarget << ":" << out.errorString();
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const qint64 count = in.read(buffer, sizeof(buffer));
        if (count == 0)
            break;
        if (count < 0 || out.write(buffer, count) != count) {
            qCWarning(lcSettings) << "copying" << pSource << "to" << pTarget << "failed";
            out.cancelWriting();
            out.commit();
            return false;
        }
    }
    if (!out.commit()) {
        qCWarning(lcSettings) << "cannot complete" << pTarget << ":" << out.errorString();
        return false;
    }
    // Every user of the machine reads this file.
    QFile::setPermissions(pTarget, in.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ReadUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return true;
}

} // namespace

NetworkFileImportResult importNetworkFile(const QString &pSource, const QStringList &pTargets, QString *pDeployedTo)
{
    bool refused = false;
    for (const QString &target : pTargets) {
        QFileInfo(target).dir().mkpath(QStringLiteral("."));
        const bool existed = QFileInfo::exists(target);
        if (!WriteProbe::canWrite(target)) {
            qCInfo(lcSettings) << "no write access to" << target;
            refused = true;
            continue;
        }
        if (copyInto(pSource, target)) {
            qCInfo(lcSettings) << "network file installed as" << target;
            if (pDeployedTo)
                *pDeployedTo = target;
            return NetworkFileImportResult::Deployed;
        }
        if (!existed)
            QFile::remove(target); // the empty file of the probe
    }
    return refused ? NetworkFileImportResult::AdministratorRequired : NetworkFileImportResult::Failed;
}

NetworkFileImportDisplay networkFileImportDisplay(NetworkFileImportResult pResult)
{
    NetworkFileImportDisplay display;
    switch (pResult) {
    case NetworkFileImportResult::Deployed:
        display.deployed = true;
        break;
    case NetworkFileImportResult::Failed:
        display.failed = true;
        break;
    case NetworkFileImportResult::AdministratorRequired:
        display.administratorNeeded = true;
        display.hideImportButton = true; // the relaunch button takes its place
        break;
    }
    return display;
}

QStringList networkFileTargets(const QString &pProgramDir, const QString &pProgramData)
{
    const QString fileName = QStringLiteral("network.json");
    QStringList targets{pProgramDir + QDir::separator() + fileName};
    if (!pProgramData.isEmpty())
        targets << pProgramData + QDir::separator() + QStringLiteral("Velmorant Client") + QDir::separator() + fileName;
    return targets;
}

} // namespace Velmorant
