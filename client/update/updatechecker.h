// SPDX-License-Identifier: GPL-2.0-or-later
// Asks a display server whether this client is up to date and downloads the
// installer it offers. Each exchange is a short blocking connection: call
// check() on the update thread and download() on ThreadDownloadUpdate; the
// GUI thread only reads status() and may call requestStop().
//
// Whatever a server sends, a check ends within its answer limit, and a
// download ends once no installer byte has arrived for the stall limit
// (keep-alives and empty chunks are no progress).
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <atomic>

namespace Velmorant {

class UpdateChecker {
public:
    enum Status { UpToDate = 0, UpdateRequired = 1, UpdateAvailable = 2, ClientTooRecent = 3, NoUpdateOnServer = 4 };

    static constexpr int kConnectTimeoutMs = 1000;
    // From the request to the answer byte (two waits of one second each).
    static constexpr int kCheckAnswerLimitMs = 2000;
    // From the request to the download's first bytes.
    static constexpr int kDownloadAnswerLimitMs = 1000;
    static constexpr int kDownloadStallLimitMs = 30000;

    UpdateChecker() = default;

    void setIdentity(const QString &applicationName, const QString &applicationVersion, const QString &protocolVersion);
    void setServer(const QHostAddress &address, quint16 port);

    // Shorter limits for tests; the defaults are the constants above.
    void setTimeLimits(int checkAnswerMs, int downloadAnswerMs, int downloadStallMs);

    // True when an answer byte was read; the status changes only then.
    bool check();

    // The saved installer's path, or empty when the download failed (then
    // nothing is left on disk).
    QString download();

    // Ends a running check or download within a few milliseconds, and every
    // later one at once; for shutting down. Any thread.
    void requestStop() { m_stop = true; }

    int status() const { return m_status.load(); }

    // The request frame's JSON text for "check" or "get".
    QByteArray request(const char *action) const;

    // Where download() saves when that place is fixed: a private folder of
    // this user's (see installerfile.h). Empty when every download gets a
    // fresh folder.
    static QString installerPath();

    // Status for an answer byte of a check; -1 leaves the status unchanged.
    static int statusForAnswer(quint8 answer);

private:
    QString m_applicationName;
    QString m_applicationVersion;
    QString m_protocolVersion;
    QHostAddress m_address;
    quint16 m_port = 0;
    int m_checkAnswerLimitMs = kCheckAnswerLimitMs;
    int m_downloadAnswerLimitMs = kDownloadAnswerLimitMs;
    int m_downloadStallLimitMs = kDownloadStallLimitMs;
    std::atomic<int> m_status{UpToDate};
    std::atomic<bool> m_stop{false};
};

} // namespace Velmorant
