// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QRect>
#include <QString>
#include <QThread>
#include <atomic>
#include <mutex>

class ImageCompressor;
class MouseKeyboard;
class StreamClient;

// The thread that owns every stream client. Each pass feeds the clients the
// newest packet (under flow control) and the cursor position, hands their
// received messages to processMessage() and deletes clients whose connections
// have ended.
//
// Threads: run() is the manager thread and holds the mutex for a whole pass;
// addClient/pauseClients/resumeClients come from the GUI thread and take the
// same mutex; the two flags are written without it.
class ClientsManager : public QThread {
    Q_OBJECT
public:
    explicit ClientsManager(QObject *pParent = nullptr);
    ~ClientsManager() override;

    void setImageCompressor(ImageCompressor *pCompressor) { mCompressor = pCompressor; }
    void setMouseKeyboard(MouseKeyboard *pInjector) { mInjector = pInjector; }
    MouseKeyboard *mouseKeyboard() const { return mInjector; }

    void addClient(const QHostAddress &pAddress, quint16 pPort, quint32 pStreamId, bool pHandshake);
    void setStreamedScreenName(const QString &pName);
    // The streamed screen's geometry given directly (setStreamedScreenName looks it up among Qt's screens).
    void setStreamedScreenRect(const QRect &pRect) { mScreenRect = pRect; }
    void pauseClients();
    void resumeClients();
    void setRemoteInteraction(bool pActive) { mRemoteInteraction.store(pActive); }
    // Waits for a previous run to finish its shutdown, then starts a fresh one.
    void startManager(QThread::Priority pPriority = QThread::InheritPriority);
    void requestStop() { mStop.store(true); }
    // Waits for the thread to end (after requestStop).
    void waitForStop();
    bool isStopRequested() const { return mStop.load(); }
    bool hasClients() const { return !mStop.load() && mClientCount.load() > 0; }

    // Acts on one message a client received. Manager thread (or a test driving a client itself).
    void processMessage(StreamClient *pClient, const QByteArray &pPayload);

protected:
    void run() override;

private:
    void deleteAllClients();

    // Guards the list, the map and the next index. std::mutex rather than
    // QMutex: ThreadSanitizer sees its ordering.
    std::mutex mMutex;
    QList<StreamClient *> mClients; // owned, in creation order
    QMap<int, StreamClient *> mIndexMap;
    int mNextIndex = 0;
    std::atomic<int> mClientCount{0}; // mirrors the map's size for hasClients()

    ImageCompressor *mCompressor = nullptr;
    MouseKeyboard *mInjector = nullptr;
    std::atomic<bool> mStop{false};
    std::atomic<bool> mRemoteInteraction{false};
    QString mScreenName;
    QRect mScreenRect;
};
