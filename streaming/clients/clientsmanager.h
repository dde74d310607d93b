// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "compression/packetsink.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QRect>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

class ImageCompressor;
class MouseKeyboard;
class StreamClient;

// Owns every stream client. Each encoded packet fans out to every client that
// can use it (PacketSink, on the compressor thread); the manager thread sends
// cursor positions, acts on what clients received and removes clients whose
// connections have ended. It tells the compressor whether any client can take
// a frame and when one needs a key frame.
//
// Threads: one mutex guards the clients and is never held across a socket
// wait or a delay, so the GUI thread's addClient/pauseClients/resumeClients/
// requestStop/hasClients return at once. The manager thread sleeps until a
// socket reports activity, a GUI call wakes it, or the next cursor position
// or throttled frame is due. Lock order: this mutex, then the compressor's.
class ClientsManager : public QThread, public PacketSink {
    Q_OBJECT
public:
    // A receiver waiting for a key frame asks the encoder again after this.
    static constexpr int KeyRequestRepeatMs = 300;

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
    // Lifecycle: start(), requestStop(), waitForStop(). Stopping asks every
    // connection to end; the connections finish on their own threads.
    void start(QThread::Priority pPriority = QThread::InheritPriority);
    void requestStop();
    void waitForStop();
    bool isStopRequested() const { return mStop.load(); }
    bool hasClients() const { return !mStop.load() && mClientCount.load() > 0; }

    // Acts on one message a client received. Manager thread (or a test driving a client itself).
    void processMessage(StreamClient *pClient, const QByteArray &pPayload);

    // PacketSink, from the compressor thread.
    void open(int pWidth, int pHeight) override;
    void push(const EncodedPacket &pPacket) override;
    void close() override {}

protected:
    void run() override;

private:
    qint64 nowMs() const { return mClock.elapsed(); }
    void wake();
    // Tells the compressor whether frames (or a key frame) are wanted. Under mMutex.
    void updateDemand(qint64 pNowMs);
    void retireAllClients(); // under mMutex
    // Deletes retired clients whose connections have ended (pAll: waits for every one).
    void reapRetired(bool pAll);

    // Guards the lists, the map, the next index and every client.
    std::mutex mMutex;
    std::condition_variable mWakeUp; // with mMutex
    bool mWakeRequested = false;
    QList<StreamClient *> mClients; // owned, in creation order
    QMap<int, StreamClient *> mIndexMap;
    int mNextIndex = 0;
    std::atomic<int> mClientCount{0}; // mirrors the map's size for hasClients()
    QList<StreamClient *> mRetired;   // owned; connections asked to end, not yet ended
    bool mFramesWanted = false;
    qint64 mKeyRequestedAtMs = -1;

    ImageCompressor *mCompressor = nullptr;
    MouseKeyboard *mInjector = nullptr;
    std::atomic<bool> mStop{false};
    std::atomic<bool> mRemoteInteraction{false};
    QString mScreenName;
    QRect mScreenRect;
    QElapsedTimer mClock;
};
