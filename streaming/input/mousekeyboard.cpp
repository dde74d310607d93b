// SPDX-License-Identifier: GPL-2.0-or-later
#include "input/mousekeyboard.h"
#include "input/inputlog.h"

#include "input/inputrules.h"
#include "platform/screencapture.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>
#include <QtEndian>

#include <chrono>
#include <cmath>
#include <cstring>

namespace {
using namespace glimra::platform;

// Payload layouts after the 10-byte command field:
//   MOUS_EVENT/RPOS_EVENT  | id i32 @10 | x f32 @14 | y f32 @18 | action u8 @22 | button u8 @23 |  (24)
//   KEYB_EVENT             | action u8 @10 | vk u16 @11 | scan u16 @13 |                          (15)
//   TACT_EVENT             | id i32 @10 | x f32 @14 | y f32 @18 | action i32 @22 | contact i32 @26 | (30)
constexpr int MouseLayout = 24;
constexpr int KeyboardLayout = 15;
constexpr int TouchLayout = 30;

constexpr qint64 TakeOverMs = 1000;
constexpr auto TouchTick = std::chrono::milliseconds(16);
constexpr int MaxContacts = 20;          // as many as the touch device announces
constexpr int MaxQueuedPerContact = 256; // about 4 s of samples
constexpr int MaxQueuedContacts = 64;

constexpr uint32_t TouchDownFlags = PointerDown | PointerInRange | PointerInContact;     // 0x10006
constexpr uint32_t TouchUpdateFlags = PointerUpdate | PointerInRange | PointerInContact; // 0x20006
constexpr uint32_t TouchUpFlags = PointerUp;                                             // 0x40000

qint32 readInt32(const QByteArray &pData, int pOffset)
{
    return qFromLittleEndian<qint32>(pData.constData() + pOffset);
}

quint16 readUInt16(const QByteArray &pData, int pOffset)
{
    return qFromLittleEndian<quint16>(pData.constData() + pOffset);
}

float readFloat(const QByteArray &pData, int pOffset)
{
    const quint32 bits = qFromLittleEndian<quint32>(pData.constData() + pOffset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Float to int as a C cast would, without undefined behaviour for values
// a peer may send (NaN, infinities, huge numbers).
int32_t truncateToInt(double pValue)
{
    if (!std::isfinite(pValue))
        return 0;
    if (pValue >= 2147483647.0)
        return 2147483647;
    if (pValue <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int32_t>(pValue);
}

// Used when no system backend exists: everything is dropped.
class NullInputBackend final : public InputBackend {
public:
    void setDesktopMetrics(const DesktopMetrics &) override {}
    void sendMouse(const MouseInput &) override {}
    void sendKey(const KeyInput &) override {}
    bool touchAvailable() const override { return false; }
    bool injectTouch(const std::vector<TouchContact> &) override { return false; }
    unsigned long lastError() const override { return 0; }
};

} // namespace

MouseKeyboard::MouseKeyboard(QObject *pParent) : MouseKeyboard(createSystemInputBackend(), TouchThread::Start, pParent)
{
}

MouseKeyboard::MouseKeyboard(std::unique_ptr<InputBackend> pBackend, TouchThread pThread, QObject *pParent)
    : QObject(pParent), mBackend(std::move(pBackend))
{
    if (!mBackend) {
        qCWarning(lcInput) << "no input backend: remote input is dropped";
        mBackend = std::make_unique<NullInputBackend>();
    }
    mLastInputTime = now();
    mActivePointer = -1;
    mTouchAvailable = mBackend->touchAvailable();
    mRunning = true;
    if (pThread == TouchThread::Start)
        mTouchThread = std::thread(&MouseKeyboard::touchInjectionLoop, this);
}

MouseKeyboard::~MouseKeyboard()
{
    mRunning = false;
    if (mTouchThread.joinable())
        mTouchThread.join();
}

qint64 MouseKeyboard::now() const
{
    return mClock ? mClock() : QDateTime::currentMSecsSinceEpoch();
}

void MouseKeyboard::setClock(std::function<qint64()> pClock)
{
    mClock = std::move(pClock);
    mLastInputTime = now();
}

void MouseKeyboard::setTargetScreen(QString pName)
{
    mScreenName = pName;
    QScreen *streamed = nullptr;
    QScreen *primary = nullptr;
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen->name() == pName)
            streamed = screen;
        if (screen->geometry().topLeft() == QPoint(0, 0))
            primary = screen;
    }
    std::unique_lock<std::mutex> lock(mGeometryMutex);
    QRect screenRect = mScreenRect;
    int physicalWidth = mPhysicalWidth, physicalHeight = mPhysicalHeight;
    QRect primaryRect = mPrimaryRect;
    double primaryRatio = mPrimaryRatio;
    lock.unlock();
    if (streamed) {
        screenRect = streamed->geometry();
        physicalWidth = int(screenRect.width() * streamed->devicePixelRatio());
        physicalHeight = int(screenRect.height() * streamed->devicePixelRatio());
    } else if (!monitorGeometry(pName, screenRect, physicalWidth, physicalHeight)) {
        qCWarning(lcInput) << "no screen named" << pName << "; input keeps the previous geometry";
    }
    if (primary) {
        primaryRect = primary->geometry();
        primaryRatio = primary->devicePixelRatio();
    }
    setTargetGeometry(screenRect, physicalWidth, physicalHeight, primaryRect, primaryRatio);
}

// A monitor the operating system knows but Qt does not (an X server's RandR
// monitors that are not outputs): its geometry from the capture seam.
bool MouseKeyboard::monitorGeometry(const QString &pName, QRect &pRect, int &pPhysicalWidth, int &pPhysicalHeight)
{
    std::unique_ptr<ScreenCapture> capture = createSystemScreenCapture();
    if (!capture)
        return false;
    for (const MonitorInfo &monitor : capture->enumerateMonitors()) {
        if (QString::fromStdWString(monitor.name) == pName && monitor.logicalWidth > 0 && monitor.logicalHeight > 0) {
            pRect = QRect(monitor.x, monitor.y, monitor.logicalWidth, monitor.logicalHeight);
            pPhysicalWidth = monitor.physicalWidth;
            pPhysicalHeight = monitor.physicalHeight;
            return true;
        }
    }
    return false;
}

void MouseKeyboard::setTargetGeometry(const QRect &pScreenRect, int pPhysicalWidth, int pPhysicalHeight,
                                      const QRect &pPrimaryRect, double pPrimaryRatio)
{
    {
        std::lock_guard<std::mutex> lock(mGeometryMutex);
        mScreenRect = pScreenRect;
        mPhysicalWidth = pPhysicalWidth;
        mPhysicalHeight = pPhysicalHeight;
        mPrimaryRect = pPrimaryRect;
        mPrimaryRatio = pPrimaryRatio;
    }
    DesktopMetrics metrics;
    metrics.primaryPhysicalWidth = int32_t(pPrimaryRect.width() * pPrimaryRatio);
    metrics.primaryPhysicalHeight = int32_t(pPrimaryRect.height() * pPrimaryRatio);
    metrics.targetX = pScreenRect.x();
    metrics.targetY = pScreenRect.y();
    metrics.targetPhysicalWidth = pPhysicalWidth;
    metrics.targetPhysicalHeight = pPhysicalHeight;
    mBackend->setDesktopMetrics(metrics);
}

void MouseKeyboard::injectKeyboardEvent(QByteArray pPayload)
{
    if (pPayload.size() < KeyboardLayout)
        return;
    const quint8 action = quint8(pPayload.at(10));
    const quint16 vk = readUInt16(pPayload, 11);
    const quint16 scan = readUInt16(pPayload, 13);
    KeyInput input;
    input.virtualKey = vk;
    input.scanCode = scan;
    input.flags = glimra::input::keyboardFlags(vk, scan, action);
    mBackend->sendKey(input);
}

void MouseKeyboard::sendMouse(int32_t pX, int32_t pY, uint32_t pData, uint32_t pFlags)
{
    MouseInput input;
    input.dx = pX;
    input.dy = pY;
    input.mouseData = pData;
    input.flags = pFlags;
    mBackend->sendMouse(input);
}

void MouseKeyboard::injectMouseEvent(QByteArray pPayload, bool pRelative)
{
    if (pPayload.size() < MouseLayout)
        return;
    const qint32 id = readInt32(pPayload, 10);
    const float x = readFloat(pPayload, 14);
    const float y = readFloat(pPayload, 18);
    const quint8 action = quint8(pPayload.at(22));
    const quint8 button = quint8(pPayload.at(23));

    float ax = x;
    float ay = y;
    uint32_t moveFlags = MouseMove;
    if (!pRelative) {
        std::unique_lock<std::mutex> lock(mGeometryMutex);
        const double primaryWidth = mPrimaryRect.width() * mPrimaryRatio;
        const double primaryHeight = mPrimaryRect.height() * mPrimaryRatio;
        if (primaryWidth <= 0 || primaryHeight <= 0) {
            lock.unlock();
            qCDebug(lcInput) << "absolute mouse event before a target screen is known; ignored";
            return;
        }
        const float px = float(mScreenRect.x()) + x * float(mPhysicalWidth);
        const float py = float(mScreenRect.y()) + y * float(mPhysicalHeight);
        ax = glimra::input::normalizeAbsolute(px, primaryWidth);
        ay = glimra::input::normalizeAbsolute(py, primaryHeight);
        moveFlags = MouseMove | MouseAbsolute;
    }
    const int32_t ix = truncateToInt(ax);
    const int32_t iy = truncateToInt(ay);

    switch (action) {
    case 0: // move
        if (!pRelative && id != mActivePointer)
            return;
        sendMouse(ix, iy, 0, moveFlags);
        mLastInputTime = now();
        break;
    case 1: { // release
        if (id != mActivePointer)
            return;
        mActivePointer = -1;
        sendMouse(ix, iy, 0, moveFlags);
        static const uint32_t Up[3] = {MouseLeftUp, MouseMiddleUp, MouseRightUp};
        if (button < 3)
            sendMouse(0, 0, 0, Up[button]);
        mLastInputTime = now();
        break;
    }
    case 2: { // press
        if (mActivePointer != -1 && now() - mLastInputTime <= TakeOverMs)
            return;
        mActivePointer = id;
        sendMouse(ix, iy, 0, moveFlags);
        static const uint32_t Down[3] = {MouseLeftDown, MouseMiddleDown, MouseRightDown};
        if (button < 3)
            sendMouse(0, 0, 0, Down[button]);
        mLastInputTime = now();
        break;
    }
    case 3: // wheel; the delta travels in x
        if (mActivePointer != -1)
            return;
        sendMouse(0, 0, uint32_t(truncateToInt(x)), MouseWheel);
        mLastInputTime = now();
        break;
    default:
        break;
    }
}

void MouseKeyboard::queueTouchEvent(QByteArray pPayload)
{
    if (!mTouchAvailable) {
        qCDebug(lcInput) << "InjectTouchPointer is not defined !";
        return;
    }
    if (pPayload.size() < TouchLayout)
        return;
    const qint32 id = readInt32(pPayload, 10);
    const float x = readFloat(pPayload, 14);
    const float y = readFloat(pPayload, 18);
    const qint32 action = readInt32(pPayload, 22);
    const qint32 contact = readInt32(pPayload, 26);
    if (contact != 1 || action < 0 || action > 2)
        return;
    float px, py;
    {
        std::lock_guard<std::mutex> lock(mGeometryMutex);
        px = float(mScreenRect.x() + truncateToInt(x * float(mPhysicalWidth)));
        py = float(mScreenRect.y() + truncateToInt(y * float(mPhysicalHeight)));
    }
    mLastInputTime = now();

    std::lock_guard<std::mutex> lock(mTouchMutex);
    if (!mQueuedPoints.contains(id) && mQueuedPoints.size() >= MaxQueuedContacts) {
        qCDebug(lcInput) << "too many touch contacts queued; event dropped";
        return;
    }
    QList<TouchPoint> &queue = mQueuedPoints[id];
    // A peer that floods samples must not grow memory or latency without
    // bound; an up always gets through so no finger stays down.
    if (queue.size() >= MaxQueuedPerContact && action != 1) {
        if (mDroppedTouchEvents++ % 1000 == 0)
            qCWarning(lcInput) << "touch queue of contact" << id << "full; events dropped:" << mDroppedTouchEvents;
        return;
    }
    switch (action) {
    case 0:
        queue.append({px, py, TouchUpdateFlags});
        break;
    case 1:
        queue.append({px, py, TouchUpdateFlags});
        queue.append({px, py, TouchUpFlags});
        break;
    case 2:
        queue.append({px, py, TouchDownFlags});
        queue.append({px, py, TouchUpdateFlags});
        break;
    }
}

int32_t MouseKeyboard::freePointerId() const
{
    // The lowest id no active contact uses: ids stay below the device's
    // contact count however fingers come and go.
    for (int32_t candidate = 0;; ++candidate) {
        bool used = false;
        for (const TouchContact &contact : mContacts)
            used = used || int32_t(contact.pointerId) == candidate;
        if (!used)
            return candidate;
    }
}

void MouseKeyboard::runTouchTick()
{
    std::lock_guard<std::mutex> lock(mTouchMutex);
    std::vector<uint32_t> released;
    for (auto it = mQueuedPoints.begin(); it != mQueuedPoints.end();) {
        const int32_t id = it.key();
        if (it->isEmpty()) {
            it = mQueuedPoints.erase(it);
            continue;
        }
        const TouchPoint p = it->takeFirst();
        if ((p.flags & PointerDown) && !mPointerIds.contains(id)) {
            if (int(mContacts.size()) < MaxContacts) {
                const int32_t pointerId = freePointerId();
                mPointerIds.insert(id, pointerId);
                TouchContact contact;
                contact.pointerId = uint32_t(pointerId);
                mContacts.push_back(contact);
                mNextPointerId = freePointerId();
            } else {
                qCDebug(lcInput) << "more than" << MaxContacts << "touch contacts; contact" << id << "ignored";
            }
        }
        TouchContact *target = nullptr;
        const auto mapped = mPointerIds.constFind(id);
        if (mapped != mPointerIds.constEnd()) {
            for (TouchContact &contact : mContacts)
                if (int32_t(contact.pointerId) == *mapped)
                    target = &contact;
        }
        if (target) {
            target->pointerFlags = p.flags;
            target->x = truncateToInt(p.x);
            target->y = truncateToInt(p.y);
        }
        if (p.flags & PointerUp) {
            if (mapped != mPointerIds.constEnd()) {
                released.push_back(uint32_t(*mapped));
                mPointerIds.remove(id);
            }
            it = mQueuedPoints.erase(it); // anything queued after the up goes too
            continue;
        }
        ++it;
    }
    if (!mContacts.empty() && !mBackend->injectTouch(mContacts))
        qCDebug(lcInput) << "ERROR DURING INJECTION : " << mBackend->lastError();
    if (!released.empty()) {
        // Released contacts were injected once more with their up flags; now
        // they go, while the others keep this tick's positions.
        for (uint32_t pointerId : released) {
            for (auto c = mContacts.begin(); c != mContacts.end(); ++c) {
                if (c->pointerId == pointerId) {
                    mContacts.erase(c);
                    break;
                }
            }
        }
        mNextPointerId = mContacts.empty() ? 0 : freePointerId();
    }
}

void MouseKeyboard::touchInjectionLoop()
{
    while (mRunning) {
        runTouchTick();
        std::this_thread::sleep_for(TouchTick);
    }
}
