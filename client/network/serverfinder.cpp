// SPDX-License-Identifier: GPL-2.0-or-later
#include "serverfinder.h"

#include "discoverymessage.h"
#include "networkfilecipher.h"
#include "networklog.h"

#include <platform/platform.h>

#include <QDebug>
#include <QDir>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QUdpSocket>

namespace Kiv::Network {

static QDateTime systemClock()
{
    return QDateTime::currentDateTimeUtc();
}

ServerFinder::ServerFinder(quint16 pDiscoveryPort, QObject *pParent)
    : QThread(pParent), m_key(networkFileKey()), m_discoveryPort(pDiscoveryPort), m_clock(systemClock)
{
    loadNetworkConfiguration();
}

ServerFinder::~ServerFinder()
{
    stop();
}

void ServerFinder::requestStop()
{
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        m_stop = true;
    }
    m_wake.notify_all();
}

void ServerFinder::waitBetweenPasses(int pMs)
{
    std::unique_lock<std::mutex> lock(m_wakeLock);
    m_wake.wait_for(lock, std::chrono::milliseconds(pMs), [this] { return m_stop.load(); });
}

void ServerFinder::waitForStop()
{
    QThread::wait();
    // Code tests hold a pointer to this finder; they notice the stop flag
    // within a few milliseconds once connected (a connect waits up to 2 s).
    std::list<std::unique_ptr<QThread>> tests;
    {
        std::lock_guard<std::mutex> lock(m_testsLock);
        tests.swap(m_tests);
    }
    for (const std::unique_ptr<QThread> &test : tests)
        test->wait();
}

void ServerFinder::stop()
{
    requestStop();
    waitForStop();
}

void ServerFinder::setClock(std::function<QDateTime()> pClock)
{
    m_clock = pClock ? std::move(pClock) : systemClock;
}

void ServerFinder::loadNetworkConfiguration()
{
    const QString machineFolder = QString::fromStdWString(Velmorant::Platform::programDataPath());
    m_network =
        NetworkConfiguration::fromJson(NetworkConfiguration::readText(QDir::currentPath(), machineFolder, m_key));
    const QDateTime due = now().addDays(-1);
    std::lock_guard<std::mutex> configuration(m_configurationLock);
    for (const NetworkConfiguration::Server &server : qAsConst(m_network.addressServers))
        m_configuredServers.append({server.host, server.port, due});
    for (const NetworkConfiguration::Server &server : qAsConst(m_network.namedServers)) {
        m_hostNamePorts.insert(server.host, server.port);
        QHostInfo::lookupHost(server.host, this, SLOT(resolveIpFromNetworkName(QHostInfo)));
    }
}

void ServerFinder::resolveIpFromNetworkName(QHostInfo host)
{
    if (host.error() != QHostInfo::NoError) {
        // Word for word: this line is what deployments look for.
        qDebug().noquote() << "ERROR IN DNS RESOLUTION : " + host.errorString();
        return;
    }
    const QList<QHostAddress> addresses = host.addresses();
    if (addresses.isEmpty())
        return;
    // Discovery and the code test speak IPv4; prefer such an address when
    // the name has several.
    QHostAddress chosen = addresses.first();
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            chosen = address;
            break;
        }
    }
    std::lock_guard<std::mutex> configuration(m_configurationLock);
    m_configuredServers.append({chosen.toString(), m_hostNamePorts.value(host.hostName()), now().addDays(-1)});
}

void ServerFinder::start()
{
    m_stop = false;
    QThread::start();
}

void ServerFinder::setListChangedCallback(std::function<void(ServerFinder *)> pCallback)
{
    std::lock_guard<std::mutex> list(m_listLock);
    m_listChanged = std::move(pCallback);
}

void ServerFinder::setCode(const QString &pCode)
{
    if (pCode.contains(QLatin1Char('_')))
        return;
    std::lock_guard<std::mutex> list(m_listLock);
    if (pCode == m_code)
        return;
    std::lock_guard<std::mutex> configuration(m_configurationLock);
    m_servers.clear();
    m_code = pCode;
    m_counter = 0;
    const QDateTime due = now().addDays(-1);
    for (ConfiguredServer &server : m_configuredServers)
        server.lastTest = due;
}

void ServerFinder::overrideCode(const QString &pCode)
{
    std::lock_guard<std::mutex> list(m_listLock);
    std::lock_guard<std::mutex> configuration(m_configurationLock);
    m_code = pCode;
}

// Implicitly shared copies would let the finder's thread grow the shared
// block in place once the caller's copy is released, with nothing ordering
// the two; callers get lists of their own.
template <typename T> static QList<T> ownCopy(const QList<T> &list)
{
    QList<T> copy;
    copy.reserve(list.size());
    for (const T &item : list)
        copy.append(item);
    return copy;
}

QList<ServerInfo> ServerFinder::getServers() const
{
    std::lock_guard<std::mutex> list(m_listLock);
    return ownCopy(m_servers);
}

void ServerFinder::setPaused(bool pPaused)
{
    m_paused = pPaused;
}

QList<ConfiguredServer> ServerFinder::configuredServers() const
{
    std::lock_guard<std::mutex> configuration(m_configurationLock);
    return ownCopy(m_configuredServers);
}

void ServerFinder::startCodeTest(const QString &pCode, const QString &pHost, quint16 pPort)
{
    std::lock_guard<std::mutex> lock(m_testsLock);
    m_tests.remove_if([](const std::unique_ptr<QThread> &test) { return test->isFinished() && test->wait(); });
    m_tests.emplace_back(QThread::create([this, pCode, pHost, pPort] { codeTest(this, pCode, pHost, pPort); }));
    m_tests.back()->start();
}

void ServerFinder::mergeCodeTestAnswer(const QString &pCode, const QString &pHost, quint16 pPort,
                                       const CodeTestAnswer &pAnswer)
{
    std::function<void(ServerFinder *)> callback;
    {
        std::lock_guard<std::mutex> list(m_listLock);
        // A test started for an earlier code must not put that room into the
        // list of the code now typed.
        if (pCode != m_code)
            return;
        const QString address = QHostAddress(pHost).toString();
        const QDateTime seen = now();
        bool found = false;
        for (ServerInfo &server : m_servers) {
            if (server.address == address && server.port == pPort && server.id == pAnswer.id) {
                server.lastSeen = seen;
                server.usersCount = pAnswer.usersCount;
                server.maxUsersCount = pAnswer.maxUsersCount;
                found = true;
                break;
            }
        }
        if (!found) {
            ServerInfo server;
            server.name = pAnswer.name;
            server.address = pHost;
            server.port = pPort;
            server.type = static_cast<quint16>(pAnswer.type);
            server.lastSeen = seen;
            server.id = pAnswer.id;
            server.usersCount = pAnswer.usersCount;
            server.maxUsersCount = pAnswer.maxUsersCount;
            m_servers.append(server);
        }
        callback = m_listChanged;
    }
    if (callback)
        callback(this);
}

void ServerFinder::handleAnswer(const QByteArray &pDatagram, quint32 pSenderIpv4)
{
    DiscoveryAnswer answer;
    if (!parseDiscoveryAnswer(pDatagram, &answer)) {
        qCDebug(lcNetwork) << "discovery answer of" << pDatagram.size() << "bytes ignored";
        return;
    }
    if (answer.code != m_code)
        return;
    const QString address = QHostAddress(pSenderIpv4).toString();
    const QDateTime seen = now();
    bool found = false;
    for (ServerInfo &server : m_servers) {
        if (server.address == address && server.port == answer.port && server.id == answer.id) {
            server.lastSeen = seen;
            server.usersCount = answer.usersCount;
            server.maxUsersCount = answer.maxUsersCount;
            found = true;
            break;
        }
    }
    if (!found) {
        ServerInfo server;
        server.name = answer.name;
        server.address = address;
        server.port = answer.port;
        server.type = answer.type;
        server.lastSeen = seen;
        server.firstSeen = seen;
        server.id = answer.id;
        server.usersCount = answer.usersCount;
        server.maxUsersCount = answer.maxUsersCount;
        m_servers.append(server);
    }
    m_changed = true;
}

static void sendToBroadcastAddresses(QUdpSocket &socket, const QByteArray &request, quint16 port)
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.broadcast().isNull())
                socket.writeDatagram(request, entry.broadcast(), port);
        }
    }
}

void ServerFinder::run()
{
    // Lives on this thread only; bound by the system at the first send.
    QUdpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    QByteArray datagram;
    for (; !m_stop.load(); ++m_passes) {
        if (m_paused.load()) {
            waitBetweenPasses(100);
            continue;
        }
        std::unique_lock<std::mutex> list(m_listLock);
        if (m_code.isEmpty() || m_code.contains(QLatin1Char('_'))) {
            list.unlock();
            waitBetweenPasses(10);
            m_counter = 0;
            continue;
        }
        const QByteArray request = buildDiscoveryRequest(m_code);
        std::unique_lock<std::mutex> configuration(m_configurationLock);
        const int c = m_counter.load();
        const QDateTime now = this->now();

        if (c < 4) {
            if (m_network.multicast)
                socket.writeDatagram(request, QHostAddress(m_network.multicastAddress), m_discoveryPort);
            if (m_network.udpUnicast) {
                for (const ConfiguredServer &server : qAsConst(m_configuredServers))
                    socket.writeDatagram(request, QHostAddress(server.host), m_discoveryPort);
            }
        }
        if (c % 10 == 0) {
            for (ConfiguredServer &server : m_configuredServers) {
                if (server.lastTest.msecsTo(now) >= 500) {
                    server.lastTest = now;
                    startCodeTest(m_code, server.host, static_cast<quint16>(server.port));
                }
            }
        }
        if (m_network.broadcast &&
            (c % 10 == 0 || c % 10 == 1 || (!m_network.multicast && m_configuredServers.isEmpty())))
            sendToBroadcastAddresses(socket, request, m_discoveryPort);
        if (m_counter.load() > 50)
            m_counter = 0;
        m_changed = false;

        if ((m_network.broadcast || m_network.multicast || m_network.udpUnicast) &&
            socket.state() == QAbstractSocket::BoundState && socket.hasPendingDatagrams()) {
            datagram.resize(kDiscoveryDatagramLimit);
            QHostAddress sender;
            const qint64 size = socket.readDatagram(datagram.data(), datagram.size(), &sender);
            if (size >= 0) {
                datagram.resize(static_cast<int>(size));
                handleAnswer(datagram, sender.toIPv4Address());
            }
        }

        if (m_counter.load() % 10 == 0) {
            if (!m_network.broadcast) {
                for (const ServerInfo &server : qAsConst(m_servers)) {
                    if (server.lastSeen.msecsTo(now) >= 500)
                        startCodeTest(m_code, server.address, server.port);
                }
            }
            for (int i = m_servers.size() - 1; i >= 0; --i) {
                if (m_servers.at(i).lastSeen.secsTo(now) >= 2) {
                    m_servers.removeAt(i);
                    m_changed = true;
                }
            }
        }
        // Counted while the lock is held, so that a new code's reset to 0
        // is seen by the very next pass.
        ++m_counter;
        const std::function<void(ServerFinder *)> callback = m_changed ? m_listChanged : nullptr;
        list.unlock();
        if (callback)
            callback(this);
        configuration.unlock();
        waitBetweenPasses(100);
    }
}

} // namespace Kiv::Network
