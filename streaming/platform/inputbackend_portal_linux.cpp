// SPDX-License-Identifier: GPL-2.0-or-later
// Input through the desktop portal's remote desktop session that the capture
// holds: absolute positions on the captured stream, evdev buttons and keys,
// the wheel in detents, touch where the portal granted it. Outside a
// session with input rights everything is dropped.
#include "platform/backendchoice_linux.h"
#include "platform/keymap_linux.h"
#include "platform/platformlog_linux.h"
#include "platform/portalsession_linux.h"

#include <QLoggingCategory>

#include <linux/input-event-codes.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>

namespace glimra::platform {

namespace {

constexpr int WheelDetent = 120;

class PortalInputBackend final : public InputBackend {
public:
    PortalInputBackend() : mTouchOffered(PortalSession::availableDeviceTypes() & PortalTouchscreen) {}

    void setDesktopMetrics(const DesktopMetrics &pMetrics) override
    {
        std::lock_guard<std::mutex> lock(mMetricsMutex);
        mMetrics = pMetrics;
    }

    void sendMouse(const MouseInput &pInput) override
    {
        const std::shared_ptr<PortalSession> session = liveSession();
        if (!session)
            return;
        if (pInput.flags & MouseMove) {
            if (pInput.flags & MouseAbsolute) {
                double x = 0, y = 0;
                if (streamPosition(*session, pInput.dx, pInput.dy, true, x, y))
                    session->pointerMotionAbsolute(x, y);
            } else {
                session->pointerMotion(pInput.dx, pInput.dy);
            }
        }
        const struct {
            uint32_t flag;
            int32_t button;
            bool pressed;
        } buttons[] = {{MouseLeftDown, BTN_LEFT, true},     {MouseLeftUp, BTN_LEFT, false},
                       {MouseMiddleDown, BTN_MIDDLE, true}, {MouseMiddleUp, BTN_MIDDLE, false},
                       {MouseRightDown, BTN_RIGHT, true},   {MouseRightUp, BTN_RIGHT, false}};
        for (const auto &b : buttons)
            if (pInput.flags & b.flag)
                session->pointerButton(b.button, b.pressed);
        if (pInput.flags & MouseWheel) {
            // Detents of 120; finer deltas add up. Windows counts away from
            // the user as positive, the portal counts down as positive.
            mWheelRemainder =
                std::clamp(mWheelRemainder + int32_t(pInput.mouseData), -WheelDetent * 50, WheelDetent * 50);
            const int32_t steps = mWheelRemainder / WheelDetent;
            if (steps != 0) {
                session->pointerAxisDiscrete(0, -steps);
                mWheelRemainder -= steps * WheelDetent;
            }
        }
    }

    void sendKey(const KeyInput &pInput) override
    {
        const std::shared_ptr<PortalSession> session = liveSession();
        if (!session)
            return;
        const bool pressed = !(pInput.flags & KeyKeyUp);
        if (pInput.flags & KeyUnicode) {
            // Surrogate pairs are left out: no keysym takes half a character.
            const unsigned long keysym = keysymFromCodePoint(pInput.scanCode);
            if (keysym && !(pInput.scanCode >= 0xD800 && pInput.scanCode < 0xE000))
                session->keyboardKeysym(int32_t(keysym), pressed);
            return;
        }
        if (pInput.flags & KeyScanCode) {
            const int evdev = evdevFromScanCode(pInput.scanCode, pInput.flags & KeyExtendedKey);
            if (evdev > 0) {
                session->keyboardKeycode(evdev, pressed);
                return;
            }
        }
        const unsigned long keysym = keysymFromVirtualKey(pInput.virtualKey);
        if (keysym)
            session->keyboardKeysym(int32_t(keysym), pressed);
        else
            qCDebug(lcPlatform) << "no key for virtual key" << pInput.virtualKey << "scan code" << pInput.scanCode;
    }

    bool touchAvailable() const override { return mTouchOffered; }

    bool injectTouch(const std::vector<TouchContact> &pContacts) override
    {
        const std::shared_ptr<PortalSession> session = liveSession();
        if (!session || !(session->devices() & PortalTouchscreen)) {
            mLastError = 1;
            return false;
        }
        // Every tick repeats held contacts; only changes go to the portal.
        for (const TouchContact &contact : pContacts) {
            double x = 0, y = 0;
            const bool placed = streamPosition(*session, contact.x, contact.y, false, x, y);
            auto known = mTouches.find(contact.pointerId);
            if (contact.pointerFlags & PointerUp) {
                if (known != mTouches.end()) {
                    session->touchUp(contact.pointerId);
                    mTouches.erase(known);
                }
            } else if (!placed) {
                continue;
            } else if (contact.pointerFlags & PointerDown || known == mTouches.end()) {
                session->touchDown(contact.pointerId, x, y);
                mTouches[contact.pointerId] = {x, y};
            } else if (known->second.x != x || known->second.y != y) {
                session->touchMotion(contact.pointerId, x, y);
                known->second = {x, y};
            }
        }
        mLastError = 0;
        return true;
    }

    unsigned long lastError() const override { return mLastError; }

private:
    struct Point {
        double x = 0, y = 0;
    };

    std::shared_ptr<PortalSession> liveSession()
    {
        std::shared_ptr<PortalSession> session = PortalSession::current();
        if (session && session->state() == PortalSession::State::Started && session->hasInput())
            return session;
        if (!mDropLogged.exchange(true))
            qCInfo(lcPlatform) << "remote input dropped: no screen-sharing session with remote control";
        return nullptr;
    }

    // A position from the input logic (normalised 0..65535 over the primary
    // monitor, or virtual-desktop pixels) as a point of the stream, clamped
    // into it: the portal refuses points outside.
    bool streamPosition(const PortalSession &pSession, int32_t pX, int32_t pY, bool pNormalised, double &pOutX,
                        double &pOutY)
    {
        DesktopMetrics metrics;
        {
            std::lock_guard<std::mutex> lock(mMetricsMutex);
            metrics = mMetrics;
        }
        if (metrics.targetPhysicalWidth <= 0 || metrics.targetPhysicalHeight <= 0 ||
            (pNormalised && (metrics.primaryPhysicalWidth <= 0 || metrics.primaryPhysicalHeight <= 0)))
            return false;
        double px = pX, py = pY;
        if (pNormalised) {
            px = double(pX) * metrics.primaryPhysicalWidth / 65535.0;
            py = double(pY) * metrics.primaryPhysicalHeight / 65535.0;
        }
        const double fx = (px - metrics.targetX) / metrics.targetPhysicalWidth;
        const double fy = (py - metrics.targetY) / metrics.targetPhysicalHeight;
        const PortalStream stream = pSession.stream();
        if (stream.width <= 0 || stream.height <= 0)
            return false;
        pOutX = std::clamp(fx * stream.width, 0.0, double(stream.width) - 1.0);
        pOutY = std::clamp(fy * stream.height, 0.0, double(stream.height) - 1.0);
        return true;
    }

    const bool mTouchOffered;
    std::mutex mMetricsMutex;
    DesktopMetrics mMetrics;
    int32_t mWheelRemainder = 0;          // mouse thread
    std::atomic<bool> mDropLogged{false}; // mouse and touch threads
    std::map<uint32_t, Point> mTouches;   // touch thread
    unsigned long mLastError = 0;
};

} // namespace

std::unique_ptr<InputBackend> createPortalInputBackend()
{
    return std::make_unique<PortalInputBackend>();
}

} // namespace glimra::platform
