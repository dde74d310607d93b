// SPDX-License-Identifier: GPL-2.0-or-later
#include "codestatemachine.h"

#include "network/roomstatus.h"
#include "network/serverfinder.h"
#include "update/updatechecker.h"

#include <QCoreApplication>
#include <QHostAddress>

#include <chrono>

namespace {

const char kEmptyCode[] = "_____";

// Texts share the window's translation context.
QString windowText(const char *pText)
{
    return QCoreApplication::translate("UiCodeWindow", pText);
}

class ServerFinderPort : public CodeStateMachine::Finder {
public:
    explicit ServerFinderPort(Kiv::Network::ServerFinder &pFinder) : m_finder(pFinder) {}
    void setCode(const QString &pCode) override { m_finder.setCode(pCode); }
    void overrideCode(const QString &pCode) override { m_finder.overrideCode(pCode); }
    QList<Kiv::Network::ServerInfo> servers() const override { return m_finder.getServers(); }

private:
    Kiv::Network::ServerFinder &m_finder;
};

class UpdateCheckerPort : public CodeStateMachine::Updater {
public:
    explicit UpdateCheckerPort(Velmorant::UpdateChecker &pChecker) : m_checker(pChecker) {}
    void check(const Kiv::Network::ServerInfo &pServer) override
    {
        m_checker.setServer(QHostAddress(pServer.address), pServer.port);
        m_checker.check();
    }
    int status() const override { return m_checker.status(); }

private:
    Velmorant::UpdateChecker &m_checker;
};

qint64 steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

std::unique_ptr<CodeStateMachine::Finder> CodeStateMachine::finderOf(Kiv::Network::ServerFinder &pFinder)
{
    return std::make_unique<ServerFinderPort>(pFinder);
}

std::unique_ptr<CodeStateMachine::Updater> CodeStateMachine::updaterOf(Velmorant::UpdateChecker &pChecker)
{
    return std::make_unique<UpdateCheckerPort>(pChecker);
}

CodeStateMachine::CodeStateMachine(std::unique_ptr<Finder> pFinder, std::unique_ptr<Updater> pUpdater, QObject *pParent)
    : QObject(pParent), m_finder(std::move(pFinder)), m_updater(std::move(pUpdater)), m_clock(steadyMilliseconds)
{
    m_status.room = windowText("Connexion");
    m_status.users = windowText("Enter Code");
    m_deadlineTimer.setSingleShot(true);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &CodeStateMachine::checkDeadline);
}

CodeStateMachine::~CodeStateMachine()
{
    stop();
}

void CodeStateMachine::setClock(std::function<qint64()> pClock)
{
    m_clock = pClock ? std::move(pClock) : steadyMilliseconds;
}

void CodeStateMachine::requestStop()
{
    m_stopping = true;
    // A check under way cannot be cut short: its answer is dropped instead.
    m_deadlineTimer.stop();
}

void CodeStateMachine::waitForStop()
{
    if (m_updateThread)
        m_updateThread->wait();
}

void CodeStateMachine::stop()
{
    requestStop();
    waitForStop();
}

bool CodeStateMachine::codeComplete() const
{
    return !m_code.isEmpty() && !m_code.contains(QLatin1Char('_'));
}

void CodeStateMachine::refresh()
{
    Status status;
    status.state = codeComplete() ? m_status.state : Idle;
    status.room = windowText("Connexion");
    // Left as they were unless a state below says otherwise.
    status.users = m_status.users;
    status.usersVisible = m_status.usersVisible;
    const auto showUsers = [&status](const QString &pText) {
        status.usersVisible = true;
        status.users = pText;
    };
    switch (status.state) {
    case Idle:
        showUsers(windowText("Enter Code"));
        break;
    case Searching:
        status.loader = true;
        break;
    case Found: {
        const QList<Kiv::Network::ServerInfo> servers = m_finder->servers();
        if (servers.isEmpty()) {
            showUsers(windowText("Enter Code"));
            break;
        }
        const Kiv::Network::RoomStatus room = Kiv::Network::roomStatus(servers.first());
        status.room = room.roomLabel;
        status.usersVisible = room.userCountVisible;
        if (room.userCountVisible)
            status.users = room.userCountText;
        status.connect = room.joinAllowed;
        status.updateButton = m_updater->status() == Velmorant::UpdateChecker::UpdateAvailable;
        break;
    }
    case NoneFound:
        showUsers(windowText("no server found"));
        break;
    }
    m_status = status;
    emit changed();
}

void CodeStateMachine::setCode(const QString &pCode)
{
    m_code = pCode;
    m_updateCheckStarted = false;
    m_finder->setCode(pCode);
    if (codeComplete()) {
        m_status.state = Searching;
        refresh();
        // One deadline, restarted: one left from an earlier code must not
        // declare the new one unfound early.
        m_deadline = m_clock() + kNoServerDelayMs;
        m_deadlineTimer.start(int(kNoServerDelayMs));
    } else {
        m_status.state = Idle;
        refresh();
    }
}

void CodeStateMachine::serversChanged()
{
    if (!m_finder->servers().isEmpty()) {
        onServersFound();
        return;
    }
    m_status.state = codeComplete() ? NoneFound : Idle;
    refresh();
}

void CodeStateMachine::poll()
{
    if (!m_finder->servers().isEmpty())
        onServersFound();
    checkDeadline();
}

void CodeStateMachine::checkDeadline()
{
    if (m_deadline < 0)
        return;
    const qint64 left = m_deadline - m_clock();
    if (left > 0) {
        // A coarse timer may wake a little early.
        if (!m_stopping)
            m_deadlineTimer.start(int(left));
        return;
    }
    m_deadline = -1;
    m_deadlineTimer.stop();
    if (!m_finder->servers().isEmpty())
        return;
    m_status.state = codeComplete() ? NoneFound : Idle;
    refresh();
}

void CodeStateMachine::joined()
{
    m_finder->overrideCode(QLatin1String(kEmptyCode));
    m_code = QLatin1String(kEmptyCode);
    m_status.state = Idle;
    refresh();
}

void CodeStateMachine::onServersFound()
{
    m_status.state = Found;
    refresh();
    if (m_updateCheckStarted || m_updateThread || m_stopping)
        return;
    const QList<Kiv::Network::ServerInfo> servers = m_finder->servers();
    if (servers.isEmpty())
        return;
    m_updateCheckStarted = true;
    const Kiv::Network::ServerInfo server = servers.first();
    Updater *updater = m_updater.get();
    m_updateThread.reset(QThread::create([updater, server] { updater->check(server); }));
    connect(m_updateThread.get(), &QThread::finished, this, &CodeStateMachine::onUpdateChecked);
    m_updateThread->start(QThread::InheritPriority);
}

void CodeStateMachine::onUpdateChecked()
{
    if (!m_updateThread || m_stopping)
        return;
    m_updateThread->wait();
    m_updateThread.reset();

    switch (m_updater->status()) {
    case Velmorant::UpdateChecker::UpdateRequired:
        offerUpdate();
        break;
    case Velmorant::UpdateChecker::ClientTooRecent:
    case Velmorant::UpdateChecker::NoUpdateOnServer:
        m_views.error = true;
        m_views.tooRecent = m_updater->status() == Velmorant::UpdateChecker::ClientTooRecent;
        emit changed();
        emit updateRefused();
        break;
    default:
        refresh();
        break;
    }
    emit updateCheckEnded();
}

void CodeStateMachine::offerUpdate()
{
    m_views.apply = true;
    m_views.required = m_updater->status() == Velmorant::UpdateChecker::UpdateRequired;
    emit changed();
    emit updateOffered();
}

void CodeStateMachine::acceptUpdate()
{
    m_views.download = true;
    emit changed();
    emit downloadRequested();
}

void CodeStateMachine::cancelUpdate()
{
    m_views.apply = false;
    m_views.error = false;
    const int status = m_updater->status();
    if (status == Velmorant::UpdateChecker::UpdateRequired || status == Velmorant::UpdateChecker::ClientTooRecent ||
        status == Velmorant::UpdateChecker::NoUpdateOnServer) {
        // The finder keeps the old code: typing it again finds the room at once.
        m_code = QLatin1String(kEmptyCode);
        emit codeCleared();
        m_status.state = Idle;
        refresh();
        return;
    }
    emit changed();
}

void CodeStateMachine::downloadEnded(const QString &pPath)
{
    // A failed download says so; its file is already gone.
    if (pPath.isEmpty()) {
        m_views.download = false;
        m_views.error = true;
        m_views.tooRecent = false;
        emit changed();
        return;
    }
    emit installerReady(pPath);
}
