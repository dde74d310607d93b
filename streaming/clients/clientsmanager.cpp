// SPDX-License-Identifier: GPL-2.0-or-later
#include "clients/clientsmanager.h"
#include "clients/clientslog.h"

#include "clients/streamclient.h"
#include "compression/imagecompressor.h"
#include "input/mousekeyboard.h"
#include "transport/streamcommand.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>

namespace {
// The longest the manager thread sleeps with nothing due (a safety net; the
// sockets wake it).
constexpr qint64 HousekeepingMs = 100;
} // namespace

ClientsManager::ClientsManager(QObject *pParent) : QThread(pParent)
{
    mClock.start();
}

ClientsManager::~ClientsManager()
{
    requestStop();
    wait();
    {
        std::lock_guard<std::mutex> lock(mMutex);
        retireAllClients();
    }
    reapRetired(true);
}

void ClientsManager::wake()
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mWakeRequested = true;
    }
    mWakeUp.notify_one();
}

void ClientsManager::addClient(const QHostAddress &pAddress, quint16 pPort, quint32 pStreamId, bool pHandshake)
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto *client = new StreamClient(mNextIndex, this, mScreenRect);
    client->setTarget(pAddress, pPort, pStreamId, pHandshake);
    client->setCodec(mCompressor ? mCompressor->getCodec() : 1);
    client->setActivityCallback([this] { wake(); });
    client->start();
    mClients.append(client);
    mIndexMap.insert(mNextIndex, client);
    ++mNextIndex;
    mClientCount.store(mIndexMap.size());
    mWakeRequested = true;
    mWakeUp.notify_one();
}

void ClientsManager::setStreamedScreenName(const QString &pName)
{
    mScreenName = pName;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *screen : screens) {
        if (screen->name() == pName)
            mScreenRect = screen->geometry();
    }
}

void ClientsManager::pauseClients()
{
    std::lock_guard<std::mutex> lock(mMutex);
    for (StreamClient *client : qAsConst(mClients))
        client->pauseClient();
    updateDemand(nowMs());
}

void ClientsManager::resumeClients()
{
    std::lock_guard<std::mutex> lock(mMutex);
    for (StreamClient *client : qAsConst(mClients))
        client->resumeClient();
    mWakeRequested = true;
    mWakeUp.notify_one();
}

void ClientsManager::requestStop()
{
    mStop.store(true);
    wake();
}

void ClientsManager::processMessage(StreamClient *pClient, const QByteArray &pPayload)
{
    if (pPayload.size() < StreamCommand::FieldSize)
        return;
    const QString command = StreamCommand::name(pPayload);
    if (mRemoteInteraction.load() && mInjector) {
        if (command == QLatin1String("MOUS_EVENT") && pPayload.size() >= StreamCommand::MouseEventSize)
            mInjector->injectMouseEvent(pPayload, false);
        else if (command == QLatin1String("TACT_EVENT") && pPayload.size() >= StreamCommand::TouchEventSize)
            mInjector->queueTouchEvent(pPayload);
        else if (command == QLatin1String("KEYB_EVENT") && pPayload.size() >= StreamCommand::KeyboardEventSize)
            mInjector->injectKeyboardEvent(pPayload);
        else if (command == QLatin1String("RPOS_EVENT") && pPayload.size() >= StreamCommand::MouseEventSize)
            mInjector->injectMouseEvent(pPayload, true);
    }
    // The connections end on their own threads; the next pass removes the client.
    if (command == QLatin1String("DISCONNECT"))
        pClient->requestStop();
    else if (command == QLatin1String("PENDINGFRA") && pPayload.size() >= StreamCommand::PendingFramesSize)
        pClient->onPendingFrames(StreamCommand::readInt32(pPayload, StreamCommand::FieldSize));
    else if (command == QLatin1String("RETURNDATA"))
        pClient->onReturnData();
}

void ClientsManager::open(int, int)
{
    std::lock_guard<std::mutex> lock(mMutex);
    for (StreamClient *client : qAsConst(mClients))
        client->restartStream();
}

void ClientsManager::push(const EncodedPacket &pPacket)
{
    std::lock_guard<std::mutex> lock(mMutex);
    const qint64 now = nowMs();
    for (StreamClient *client : qAsConst(mClients))
        client->offerFrame(pPacket, now);
    updateDemand(now);
}

void ClientsManager::updateDemand(qint64 pNowMs)
{
    if (!mCompressor)
        return;
    bool wanted = false;
    bool key = false;
    if (!mStop.load()) {
        for (StreamClient *client : qAsConst(mClients)) {
            if (client->canTakeFrame(pNowMs)) {
                wanted = true;
                key = key || client->isWaitingForKey();
            }
        }
    }
    if (wanted != mFramesWanted) {
        mFramesWanted = wanted;
        mCompressor->setFrameWanted(wanted);
    }
    if (!key) {
        mKeyRequestedAtMs = -1;
    } else if (mKeyRequestedAtMs < 0 || pNowMs - mKeyRequestedAtMs >= KeyRequestRepeatMs) {
        mKeyRequestedAtMs = pNowMs;
        mCompressor->requestKeyFrame();
    }
}

void ClientsManager::start(QThread::Priority pPriority)
{
    wait();
    // Cleared here rather than in run(): a stop requested right after the start must hold.
    mStop.store(false);
    QThread::start(pPriority);
}

void ClientsManager::waitForStop()
{
    wait();
    // The thread's last pass released the mutex; taking it orders everything
    // the thread did before whatever the caller does next.
    std::lock_guard<std::mutex> lock(mMutex);
}

void ClientsManager::retireAllClients()
{
    // Every connection is asked to stop first: the DISCONNECT frames leave
    // together, and nobody waits here for them to go.
    for (StreamClient *client : qAsConst(mClients)) {
        client->requestStop();
        mRetired.append(client);
    }
    mClients.clear();
    mIndexMap.clear();
    mClientCount.store(0);
}

void ClientsManager::reapRetired(bool pAll)
{
    QList<StreamClient *> ended;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        for (int i = mRetired.size() - 1; i >= 0; --i) {
            if (pAll || mRetired[i]->hasEnded())
                ended.append(mRetired.takeAt(i));
        }
    }
    // Outside the mutex: a connection still ending may call back into wake().
    qDeleteAll(ended);
}

void ClientsManager::run()
{
    std::unique_lock<std::mutex> lock(mMutex);
    while (!mStop.load()) {
        mWakeRequested = false;
        const qint64 now = nowMs();
        qint64 next = now + HousekeepingMs;
        for (int i = 0; i < mClients.size(); ++i) {
            StreamClient *client = mClients[i];
            if (!client->isAlive()) {
                qCDebug(lcClients) << "stream client" << client->index() << "ended; removing it";
                mIndexMap.remove(client->index());
                mClients.removeAt(i--);
                client->requestStop();
                mRetired.append(client);
                continue;
            }
            client->sendMousePosition();
            for (StreamConnection *socket : {&client->controls(), &client->video()}) {
                while (socket->hasReceived())
                    processMessage(client, socket->takeReceived());
            }
            next = qMin(next, now + StreamClient::CursorIntervalMs);
            const qint64 frameAt = client->nextFrameAtMs(now);
            if (frameAt > now)
                next = qMin(next, frameAt);
        }
        mClientCount.store(mIndexMap.size());
        updateDemand(now);
        if (!mRetired.isEmpty()) {
            lock.unlock();
            reapRetired(false);
            lock.lock();
        }
        if (!mWakeRequested && !mStop.load())
            mWakeUp.wait_for(lock, std::chrono::milliseconds(qMax<qint64>(1, next - nowMs())),
                             [this] { return mWakeRequested || mStop.load(); });
    }
    retireAllClients();
    updateDemand(nowMs());
}
