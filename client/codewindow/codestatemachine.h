// SPDX-License-Identifier: GPL-2.0-or-later
// What the code window shows: the search for the typed room code (idle,
// searching, found, none found) and the update flow (check, offer, apply or
// cancel, download, refusal). The finder, the update check and the clock are
// handed in, so the rules run without a network or real time.
// GUI thread only; the update check runs on the one thread this class owns
// (lifecycle: requestStop(), then waitForStop(); stop() and the destructor
// do both).
#pragma once

#include "network/serverinfo.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

namespace Kiv::Network {
class ServerFinder;
}
namespace Velmorant {
class UpdateChecker;
}

class CodeStateMachine : public QObject {
    Q_OBJECT
public:
    enum State { Idle = 0, Searching = 1, Found = 2, NoneFound = 3 };
    // A complete code with no server after this long shows "no server found".
    static constexpr qint64 kNoServerDelayMs = 3000;

    // The search side the machine drives; GUI thread only.
    class Finder {
    public:
        virtual ~Finder() = default;
        virtual void setCode(const QString &pCode) = 0;
        virtual void overrideCode(const QString &pCode) = 0;
        virtual QList<Kiv::Network::ServerInfo> servers() const = 0;
    };
    // The update exchange; check() blocks and runs on the update thread,
    // status() is read on the GUI thread (UpdateChecker's statuses).
    class Updater {
    public:
        virtual ~Updater() = default;
        virtual void check(const Kiv::Network::ServerInfo &pServer) = 0;
        virtual int status() const = 0;
    };
    static std::unique_ptr<Finder> finderOf(Kiv::Network::ServerFinder &pFinder);
    static std::unique_ptr<Updater> updaterOf(Velmorant::UpdateChecker &pChecker);

    // The status area under the code.
    struct Status {
        State state = Idle;
        QString room;
        QString users;
        bool usersVisible = true;
        bool loader = false;
        bool connect = false;
        bool updateButton = false;
    };
    // The update views over the window.
    struct UpdateViews {
        bool apply = false;
        bool required = false; // the apply view says "needed", not "exists"
        bool download = false;
        bool error = false;
        bool tooRecent = false; // the error view says "client too recent"
    };

    CodeStateMachine(std::unique_ptr<Finder> pFinder, std::unique_ptr<Updater> pUpdater, QObject *pParent = nullptr);
    ~CodeStateMachine() override;

    // Milliseconds of a monotonic clock for the search's grace time (tests
    // replace it; empty restores the steady clock).
    void setClock(std::function<qint64()> pClock);

    State state() const { return m_status.state; }
    const Status &status() const { return m_status; }
    const UpdateViews &updateViews() const { return m_views; }
    bool updateCheckRunning() const { return m_updateThread != nullptr; }

    // Lifecycle of the update thread: no answer is acted on after requestStop().
    void requestStop();
    void waitForStop();
    void stop();

    // The code as typed; '_' marks an empty cell.
    void setCode(const QString &pCode);
    // The finder's list changed.
    void serversChanged();
    // The window's regular tick: follows the list and ends a search whose
    // time is up.
    void poll();
    // The room was joined: the code and the finder go back to idle.
    void joined();

    void offerUpdate();
    void acceptUpdate();
    void cancelUpdate();
    // pPath is the saved installer, or empty when the download failed.
    void downloadEnded(const QString &pPath);

signals:
    // status() or updateViews() may have changed.
    void changed();
    void updateOffered();
    void updateRefused();
    // A cancelled update emptied the code.
    void codeCleared();
    void downloadRequested();
    void installerReady(QString pPath);
    void updateCheckEnded();

private:
    bool codeComplete() const;
    void refresh();
    void onServersFound();
    void checkDeadline();
    void onUpdateChecked();

    std::unique_ptr<Finder> m_finder;
    std::unique_ptr<Updater> m_updater;
    std::function<qint64()> m_clock;
    QString m_code;
    Status m_status;
    UpdateViews m_views;

    // The end of the current search's grace time, or -1.
    qint64 m_deadline = -1;
    QTimer m_deadlineTimer;

    bool m_updateCheckStarted = false;
    bool m_stopping = false;
    std::unique_ptr<QThread> m_updateThread;
};
