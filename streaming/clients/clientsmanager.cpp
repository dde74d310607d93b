// SPDX-License-Identifier: GPL-2.0-or-later
#include "clients/clientsmanager.h"

#include "clients/streamclient.h"
#include "compression/imagecompressor.h"
#include "input/mousekeyboard.h"
#include "transport/streamcommand.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>

Q_LOGGING_CATEGORY(lcClients, "glimra.clients")

ClientsManager::ClientsManager(QObject *pParent) : QThread(pParent) {}

ClientsManager::~ClientsManager()
{
    requestStop();
    wait();
    std::lock_guard<std::mutex> lock(mMutex);
    deleteAllClients();
}

void ClientsManager::addClient(const QHostAddress &pAddress, quint16 pPort, quint32 pStreamId, bool pHandshake)
{
    std::lock_guard<std::mutex> lock(mMutex);
    auto *client = new StreamClient(mNextIndex, this, mCompressor, mScreenRect);
    client->setTarget(pAddress, pPort, pStreamId, pHandshake);
    client->setCodec(mCompressor ? mCompressor->getCodec() : 1);
    client->startClient();
    mClients.append(client);
    mIndexMap.insert(mNextIndex, client);
    ++mNextIndex;
    mClientCount.store(mIndexMap.size());
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
}

void ClientsManager::resumeClients()
{
    std::lock_guard<std::mutex> lock(mMutex);
    for (StreamClient *client : qAsConst(mClients))
        client->resumeClient();
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
    if (command == QLatin1String("DISCONNECT"))
        pClient->disconnectClient();
    else if (command == QLatin1String("PENDINGFRA") && pPayload.size() >= StreamCommand::PendingFramesSize)
        pClient->onPendingFrames(StreamCommand::readInt32(pPayload, StreamCommand::FieldSize));
    else if (command == QLatin1String("RETURNDATA"))
        pClient->onReturnData();
}

void ClientsManager::waitForStop()
{
    wait();
    // The thread's last pass released the mutex; taking it orders everything
    // the thread did before whatever the caller does next.
    std::lock_guard<std::mutex> lock(mMutex);
}

void ClientsManager::startManager(QThread::Priority pPriority)
{
    wait();
    // Cleared here rather than in run(): a stop requested right after the start must hold.
    mStop.store(false);
    start(pPriority);
}

void ClientsManager::run()
{
    while (!mStop.load()) {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            QList<StreamClient *> dead;
            for (StreamClient *client : qAsConst(mClients)) {
                if (!client->isAlive()) {
                    dead.append(client);
                    continue;
                }
                client->sendNextFrame();
                client->sendMousePosition();
                for (TcpSocket *socket : {&client->controls(), &client->video()}) {
                    while (socket->hasReceived())
                        processMessage(client, socket->takeReceived());
                }
            }
            for (StreamClient *client : qAsConst(dead)) {
                qCDebug(lcClients) << "stream client" << client->index() << "ended; removing it";
                mIndexMap.remove(client->index());
                mClients.removeOne(client);
                client->disconnectClient();
                delete client;
            }
            mClientCount.store(mIndexMap.size());
        }
        QThread::msleep(1);
    }
    std::lock_guard<std::mutex> lock(mMutex);
    deleteAllClients();
}

void ClientsManager::deleteAllClients()
{
    // Ask every connection to stop first, then wait for each: the DISCONNECT
    // frames leave together instead of one client after the other.
    for (StreamClient *client : qAsConst(mClients)) {
        client->video().requestStop();
        client->controls().requestStop();
    }
    qDeleteAll(mClients);
    mClients.clear();
    mIndexMap.clear();
    mClientCount.store(0);
}
