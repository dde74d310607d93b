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

} // namespace Velmorant
