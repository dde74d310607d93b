// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "platform/inputbackend.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QRect>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Turns remote "MOUS_EVENT", "RPOS_EVENT", "KEYB_EVENT" and "TACT_EVENT"
// payloads into local input. Decides which pointer owns the mouse and queues
// touch samples per contact; the backend only performs the final OS call.
//
// Threads: inject*/queueTouchEvent on the client manager thread,
// setTargetScreen on the GUI thread, the touch thread (owned) injects queued
// touch samples every 16 ms.
class MouseKeyboard : public QObject {
    Q_OBJECT
public:
    enum class TouchThread { Start, Manual }; // Manual: no thread, runTouchTick() drives it (tests)

    explicit MouseKeyboard(QObject *pParent = nullptr); // the system backend, touch thread started
    MouseKeyboard(std::unique_ptr<glimra::platform::InputBackend> pBackend, TouchThread pThread,
                  QObject *pParent = nullptr);
    ~MouseKeyboard() override;

    void setTargetScreen(QString pName);
    // The geometry setTargetScreen derives from the screens, given directly.
    void setTargetGeometry(const QRect &pScreenRect, int pPhysicalWidth, int pPhysicalHeight, const QRect &pPrimaryRect,
                           double pPrimaryRatio);
    QString targetScreenName() const { return mScreenName; }

    bool isTouchInjectionAvailable() const { return mTouchAvailable; }

    // Whole command payloads (command field included); short ones are ignored.
    void injectKeyboardEvent(QByteArray pPayload);
    void injectMouseEvent(QByteArray pPayload, bool pRelative);
    void queueTouchEvent(QByteArray pPayload);

    // One tick of the touch thread.
    void runTouchTick();
    // Milliseconds clock for the take-over rule (tests replace it).
    void setClock(std::function<qint64()> pClock);

private:
    struct TouchPoint {
        float x = 0;
        float y = 0;
        uint32_t flags = 0;
    };

    static bool monitorGeometry(const QString &pName, QRect &pRect, int &pPhysicalWidth, int &pPhysicalHeight);
    void touchInjectionLoop();
    qint64 now() const;
    void sendMouse(int32_t pX, int32_t pY, uint32_t pData, uint32_t pFlags);
    int32_t freePointerId() const; // under the touch mutex

    std::unique_ptr<glimra::platform::InputBackend> mBackend;
    std::function<qint64()> mClock;

    // Written by the GUI thread, read by the manager and touch threads.
    mutable std::mutex mGeometryMutex; // guards the five members below
    int mPhysicalWidth = 0;
    int mPhysicalHeight = 0;
    QRect mScreenRect;
    QRect mPrimaryRect;
    double mPrimaryRatio = 1.0;
    QString mScreenName; // GUI thread

    std::atomic<qint64> mLastInputTime{0};
    int32_t mActivePointer = -1; // manager thread only

    std::mutex mTouchMutex; // guards the five members below
    int32_t mNextPointerId = 0;
    quint64 mDroppedTouchEvents = 0;
    std::vector<glimra::platform::TouchContact> mContacts;
    QMap<int32_t, int32_t> mPointerIds;             // remote contact id -> local pointer id
    QMap<int32_t, QList<TouchPoint>> mQueuedPoints; // remote contact id -> samples to inject

    std::atomic<bool> mRunning{false};
    bool mTouchAvailable = false;
    std::thread mTouchThread;
};
