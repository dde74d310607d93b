// SPDX-License-Identifier: GPL-2.0-or-later
// Finds the display servers hosting a room code and keeps the live list.
//
// Threads: the owner's (GUI) thread constructs it and calls the public
// operations; the finder's own thread runs the passes (about every 100 ms);
// each code test runs on a short-lived thread. Two locks: the list lock and
// the configuration lock, always taken in that order. The list-changed
// callback runs on the finder's or a code test's thread and must only hand
// the news over to the GUI thread.
//
// Lifecycle: start(), requestStop() (any thread, returns at once),
// waitForStop() (the owner's thread: the finder's thread and every code test
// it started have ended); stop() does both, and so does the destructor.
#pragma once

#include "codetest.h"
#include "configuredserver.h"
#include "networkconfiguration.h"
#include "serverinfo.h"

#include <QHostInfo>
#include <QList>
#include <QMap>
#include <QThread>

#include <QDateTime>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

namespace Kiv::Network {

class ServerFinder : public QThread {
    Q_OBJECT
public:
    static constexpr quint16 kDiscoveryPort = 48504;

    // Reads the network configuration and starts the host-name lookups.
    // Discovery requests go to pDiscoveryPort.
    explicit ServerFinder(quint16 pDiscoveryPort = kDiscoveryPort, QObject *pParent = nullptr);
    ~ServerFinder() override;

    void start();
    void requestStop();
    void waitForStop();
    void stop();

    // The time of day (UTC) for when servers were last seen and tested;
    // tests replace it, empty restores the system clock. Before start().
    void setClock(std::function<QDateTime()> pClock);
    // Passes of the finder's loop so far, paused or idle ones included:
    // evidence that the finder looked and did nothing.
    quint64 passCount() const { return m_passes.load(); }

    void setListChangedCallback(std::function<void(ServerFinder *)> pCallback);
    // A complete new code empties the list and restarts the search; a code
    // with '_' or the current one changes nothing.
    void setCode(const QString &pCode);
    // Replaces the code with no check ("_____" makes the finder idle).
    void overrideCode(const QString &pCode);
    QList<ServerInfo> getServers() const;
    void setPaused(bool pPaused);

    // The network settings read at construction (switches and ports).
    NetworkConfiguration networkConfiguration() const { return m_network; }
    QList<ConfiguredServer> configuredServers() const;

    // Used by code tests: merges a valid answer by (address, port, id) while
    // the finder still searches pCode, then calls the list-changed callback.
    void mergeCodeTestAnswer(const QString &pCode, const QString &pHost, quint16 pPort, const CodeTestAnswer &pAnswer);
    // True once a stop is requested; running code tests end early.
    bool isStopping() const { return m_stop.load(); }

    // Starts a code test towards pHost on a thread of its own.
    void startCodeTest(const QString &pCode, const QString &pHost, quint16 pPort);

public slots:
    void resolveIpFromNetworkName(QHostInfo host);

protected:
    void run() override;

private:
    void loadNetworkConfiguration();
    void handleAnswer(const QByteArray &pDatagram, quint32 pSenderIpv4);
    void notifyListChanged();
    QDateTime now() const { return m_clock(); }
    // Waits between passes; a stop request ends the wait at once.
    void waitBetweenPasses(int pMs);

    QList<ServerInfo> m_servers;
    mutable std::mutex m_listLock;
    std::function<void(ServerFinder *)> m_listChanged;
    QString m_code;
    std::atomic<bool> m_stop{false};
    bool m_changed = false; // finder thread only
    std::atomic<int> m_counter{0};

    NetworkConfiguration m_network;
    QList<ConfiguredServer> m_configuredServers;
    QMap<QString, int> m_hostNamePorts; // GUI thread only
    const std::string m_key;
    mutable std::mutex m_configurationLock;

    const quint16 m_discoveryPort;
    std::atomic<bool> m_paused{false};

    std::function<QDateTime()> m_clock;
    std::atomic<quint64> m_passes{0};
    std::mutex m_wakeLock;
    std::condition_variable m_wake;

    // Code test threads; finished ones are joined when the next one starts.
    std::mutex m_testsLock;
    std::list<std::unique_ptr<QThread>> m_tests;
};

} // namespace Kiv::Network
