// SPDX-License-Identifier: GPL-2.0-or-later
// Installing a network configuration file for all users: the chosen file is
// copied, byte for byte, to the first target that accepts it.
#pragma once

#include <QString>
#include <QStringList>

namespace Velmorant {

enum class NetworkFileImportResult {
    Deployed,
    Failed,               // every target was writable, yet no copy succeeded
    AdministratorRequired // at least one target refused write access
};

// Tries pTargets in order: creates the target's folder, probes write access
// (the probe creates an empty file), then replaces the target with a copy of
// pSource. A target is replaced only by a complete copy: when copying fails
// the previous file stays, and a file only the probe created is removed.
// pDeployedTo, when given, receives the target that took the file.
NetworkFileImportResult importNetworkFile(const QString &pSource, const QStringList &pTargets,
                                          QString *pDeployedTo = nullptr);

// Which import messages and buttons show after an outcome.
struct NetworkFileImportDisplay {
    bool deployed = false;            // the success message
    bool failed = false;              // the failure message
    bool administratorNeeded = false; // the rights message and the relaunch buttons
    bool hideImportButton = false;    // otherwise the import button stays as it is
};
NetworkFileImportDisplay networkFileImportDisplay(NetworkFileImportResult pResult);

// Where an imported file goes, in order of preference: network.json in the
// program's folder, then in our folder of the machine-wide data folder. An
// empty pProgramData adds no second place: a relative path would land in
// whatever the working directory is.
QStringList networkFileTargets(const QString &pProgramDir, const QString &pProgramData);

} // namespace Velmorant
