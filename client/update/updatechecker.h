// SPDX-License-Identifier: GPL-2.0-or-later
// Asks a display server whether this client is up to date and downloads the
// installer it offers. Each exchange is a short blocking connection: call
// check() on the update thread and download() on ThreadDownloadUpdate; the
// GUI thread only reads status().
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <atomic>

namespace Velmorant {

class UpdateChecker {
public:
    enum Status { UpToDate = 0, UpdateRequired = 1, UpdateAvailable = 2, ClientTooRecent = 3, NoUpdateOnServer = 4 };

    UpdateChecker() = default;

    void setIdentity(const QString &applicationName, const QString &applicationVersion, const QString &protocolVersion);
    void setServer(const QHostAddress &address, quint16 port);

    // True when an answer byte was read; the status changes only then.
    bool check();

    // The saved installer's path, or empty when the download failed (then
    // nothing is left on disk).
    QString download();

    int status() const { return m_status.load(); }

    // The request frame's JSON text for "check" or "get".
    QByteArray request(const char *action) const;

    // Where download() saves: <temp>/VelmorantClient/<installer name>.
    static QString installerPath();

    // Status for an answer byte of a check; -1 leaves the status unchanged.
    static int statusForAnswer(quint8 answer);

private:
    QString m_applicationName;
    QString m_applicationVersion;
    QString m_protocolVersion;
    QHostAddress m_address;
    quint16 m_port = 0;
    std::atomic<int> m_status{UpToDate};
};

} // namespace Velmorant
