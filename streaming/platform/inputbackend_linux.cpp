// SPDX-License-Identifier: GPL-2.0-or-later
// Linux input: XTest for mouse and keyboard, a uinput multi-touch device
// (protocol B) for touch when /dev/uinput is writable.
#include "platform/backendchoice_linux.h"
#include "platform/inputbackend.h"
#include "platform/keymap_linux.h"
#include "platform/platformlog_linux.h"
#include "platform/uinputtouch.h"

#include <QLoggingCategory>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <list>
#include <map>
#include <mutex>

namespace glimra::platform {
namespace {

class LinuxInputBackend final : public InputBackend {
public:
    LinuxInputBackend()
    {
        mDisplay = XOpenDisplay(nullptr);
        int event, error, major, minor;
        if (!mDisplay) {
            qCWarning(lcPlatform) << "cannot open the X display: no mouse or keyboard injection";
        } else if (!XTestQueryExtension(mDisplay, &event, &error, &major, &minor)) {
            qCWarning(lcPlatform) << "the X server has no XTEST extension: no mouse or keyboard injection";
            XCloseDisplay(mDisplay);
            mDisplay = nullptr;
        } else {
            findSpareKeycodes();
        }
        const int width = mDisplay ? DisplayWidth(mDisplay, DefaultScreen(mDisplay)) : 0;
        const int height = mDisplay ? DisplayHeight(mDisplay, DefaultScreen(mDisplay)) : 0;
        if (width > 0 && mTouch.open(width, height))
            qCInfo(lcPlatform) << "touch injection through uinput";
        else
            qCInfo(lcPlatform) << "/dev/uinput not writable: touch injection unavailable";
    }

    ~LinuxInputBackend() override
    {
        if (!mDisplay)
            return;
        // Give the borrowed keycodes back.
        for (const auto &bound : mBound) {
            KeySym none[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(mDisplay, bound.second, 2, none, 1);
        }
        XSync(mDisplay, False);
        XCloseDisplay(mDisplay);
    }

    void setDesktopMetrics(const DesktopMetrics &pMetrics) override
    {
        std::lock_guard<std::mutex> lock(mMetricsMutex);
        mMetrics = pMetrics;
    }

    void sendMouse(const MouseInput &pInput) override
    {
        if (!mDisplay)
            return;
        if (pInput.flags & MouseMove) {
            if (pInput.flags & MouseAbsolute) {
                DesktopMetrics metrics;
                {
                    std::lock_guard<std::mutex> lock(mMetricsMutex);
                    metrics = mMetrics;
                }
                if (metrics.primaryPhysicalWidth <= 0 || metrics.primaryPhysicalHeight <= 0) {
                    metrics.primaryPhysicalWidth = DisplayWidth(mDisplay, DefaultScreen(mDisplay));
                    metrics.primaryPhysicalHeight = DisplayHeight(mDisplay, DefaultScreen(mDisplay));
                }
                // 0..65535 spans the primary monitor, as for SendInput.
                const int x = int(std::lround(double(pInput.dx) * metrics.primaryPhysicalWidth / 65535.0));
                const int y = int(std::lround(double(pInput.dy) * metrics.primaryPhysicalHeight / 65535.0));
                XTestFakeMotionEvent(mDisplay, -1, x, y, CurrentTime);
            } else {
                XTestFakeRelativeMotionEvent(mDisplay, pInput.dx, pInput.dy, CurrentTime);
            }
        }
        const struct {
            uint32_t flag;
            unsigned button;
            Bool press;
        } buttons[] = {{MouseLeftDown, 1, True},  {MouseLeftUp, 1, False},   {MouseMiddleDown, 2, True},
                       {MouseMiddleUp, 2, False}, {MouseRightDown, 3, True}, {MouseRightUp, 3, False}};
        for (const auto &b : buttons)
            if (pInput.flags & b.flag)
                XTestFakeButtonEvent(mDisplay, b.button, b.press, CurrentTime);
        if (pInput.flags & MouseWheel) {
            // One click of buttons 4 (away from the user) or 5 per 120 units;
            // finer deltas add up.
            mWheelRemainder += int32_t(pInput.mouseData);
            mWheelRemainder = std::clamp(mWheelRemainder, -120 * 50, 120 * 50);
            while (mWheelRemainder >= 120 || mWheelRemainder <= -120) {
                const unsigned button = mWheelRemainder > 0 ? 4 : 5;
                XTestFakeButtonEvent(mDisplay, button, True, CurrentTime);
                XTestFakeButtonEvent(mDisplay, button, False, CurrentTime);
                mWheelRemainder += mWheelRemainder > 0 ? -120 : 120;
            }
        }
        XFlush(mDisplay);
    }

    void sendKey(const KeyInput &pInput) override
    {
        if (!mDisplay)
            return;
        const Bool press = (pInput.flags & KeyKeyUp) ? False : True;
        if (pInput.flags & KeyUnicode) {
            sendUnicode(pInput.scanCode, press);
            return;
        }
        KeyCode keycode = 0;
        if (pInput.flags & KeyScanCode) {
            // Outside the server's range XTest answers BadValue, which
            // Xlib's default handler turns into an exit.
            const int evdev = evdevFromScanCode(pInput.scanCode, pInput.flags & KeyExtendedKey);
            if (evdev > 0 && evdev + 8 >= mMinKeycode && evdev + 8 <= mMaxKeycode)
                keycode = KeyCode(evdev + 8);
        }
        if (!keycode) {
            const KeySym keysym = keysymFromVirtualKey(pInput.virtualKey);
            if (keysym != NoSymbol)
                keycode = XKeysymToKeycode(mDisplay, keysym);
        }
        if (!keycode) {
            qCDebug(lcPlatform) << "no key for virtual key" << pInput.virtualKey << "scan code" << pInput.scanCode;
            return;
        }
        XTestFakeKeyEvent(mDisplay, keycode, press, CurrentTime);
        XFlush(mDisplay);
    }

    bool touchAvailable() const override { return mTouch.isOpen(); }

    bool injectTouch(const std::vector<TouchContact> &pContacts) override
    {
        if (!mTouch.isOpen())
            return false;
        return mTouch.inject(pContacts);
    }

    unsigned long lastError() const override { return mTouch.lastError(); }

private:
    void findSpareKeycodes()
    {
        int minKeycode = 0, maxKeycode = 0, perKeycode = 0;
        XDisplayKeycodes(mDisplay, &minKeycode, &maxKeycode);
        mMinKeycode = minKeycode;
        mMaxKeycode = maxKeycode;
        KeySym *map = XGetKeyboardMapping(mDisplay, KeyCode(minKeycode), maxKeycode - minKeycode + 1, &perKeycode);
        if (!map)
            return;
        for (int keycode = maxKeycode; keycode >= minKeycode; --keycode) {
            const KeySym *syms = map + (keycode - minKeycode) * perKeycode;
            if (std::all_of(syms, syms + perKeycode, [](KeySym s) { return s == NoSymbol; }))
                mSpare.push_back(keycode);
        }
        XFree(map);
        if (mSpare.empty())
            qCWarning(lcPlatform) << "no free keycode: characters without a key cannot be typed";
    }

    // A character without a key of its own: bind it to a free keycode. Bound
    // keycodes stay bound until they are needed for another character, so
    // clients that look the mapping up late still find the character.
    void sendUnicode(uint16_t pUnit, Bool pPress)
    {
        uint32_t code = pUnit;
        uint16_t &pendingHigh = pPress ? mHighPress : mHighRelease;
        if (pUnit >= 0xD800 && pUnit < 0xDC00) {
            pendingHigh = pUnit;
            return;
        }
        if (pUnit >= 0xDC00 && pUnit < 0xE000) {
            if (!pendingHigh)
                return;
            code = 0x10000 + ((uint32_t(pendingHigh) - 0xD800) << 10) + (pUnit - 0xDC00);
        }
        pendingHigh = 0;
        const KeySym keysym = keysymFromCodePoint(code);
        if (keysym == NoSymbol)
            return;
        auto bound = mBound.find(keysym);
        if (!pPress) {
            if (bound != mBound.end()) {
                XTestFakeKeyEvent(mDisplay, KeyCode(bound->second), False, CurrentTime);
                XFlush(mDisplay);
                mPressed.erase(bound->second);
            }
            return;
        }
        if (bound == mBound.end()) {
            const int keycode = takeSpareKeycode();
            if (!keycode) {
                qCDebug(lcPlatform) << "no free keycode for character" << code;
                return;
            }
            KeySym syms[2] = {keysym, keysym};
            XChangeKeyboardMapping(mDisplay, keycode, 2, syms, 1);
            XSync(mDisplay, False);
            bound = mBound.emplace(keysym, keycode).first;
        }
        mRecent.remove(bound->second);
        mRecent.push_back(bound->second);
        mPressed[bound->second] = true;
        XTestFakeKeyEvent(mDisplay, KeyCode(bound->second), True, CurrentTime);
        XFlush(mDisplay);
    }

    int takeSpareKeycode()
    {
        for (int keycode : mSpare) {
            if (std::none_of(mBound.begin(), mBound.end(), [&](const auto &b) { return b.second == keycode; }))
                return keycode;
        }
        // All borrowed: reuse the least recently typed one that is not held.
        for (int keycode : mRecent) {
            if (mPressed.count(keycode))
                continue;
            for (auto it = mBound.begin(); it != mBound.end(); ++it) {
                if (it->second == keycode) {
                    mBound.erase(it);
                    break;
                }
            }
            mRecent.remove(keycode);
            return keycode;
        }
        return 0;
    }

    Display *mDisplay = nullptr;
    int mMinKeycode = 8;
    int mMaxKeycode = 255;
    std::mutex mMetricsMutex;
    DesktopMetrics mMetrics;
    int32_t mWheelRemainder = 0;
    std::vector<int> mSpare;
    std::map<KeySym, int> mBound; // character -> borrowed keycode
    std::list<int> mRecent;       // borrowed keycodes, least recently used first
    std::map<int, bool> mPressed; // borrowed keycodes held down
    uint16_t mHighPress = 0;      // pending high surrogates
    uint16_t mHighRelease = 0;
    UinputTouch mTouch;
};

} // namespace

std::unique_ptr<InputBackend> createXTestInputBackend()
{
    return std::make_unique<LinuxInputBackend>();
}

} // namespace glimra::platform
