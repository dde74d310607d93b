// SPDX-License-Identifier: GPL-2.0-or-later
// Linux input: XTest for mouse and keyboard, a uinput multi-touch device
// (protocol B) for touch when /dev/uinput is writable.
#include "platform/inputbackend.h"
#include "platform/platformlog_linux.h"
#include "platform/uinputtouch.h"

#include <QLoggingCategory>

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <list>
#include <map>
#include <mutex>

namespace glimra::platform {
namespace {

// Windows scan code set 1 -> evdev key code. The X keycode is that + 8 under
// the evdev keymap every current X server uses.
int evdevFromScanCode(uint16_t pScan, bool pExtended)
{
    const uint16_t code = pScan & 0xFF;
    if ((pScan & 0xFF00) == 0xE000)
        pExtended = true;
    else if (pScan & 0xFF00)
        return 0;
    if (!pExtended) {
        if (code >= 0x01 && code <= 0x53)
            return code; // the classic block maps one to one
        switch (code) {
        case 0x54:
            return 99; // Alt+SysRq
        case 0x56:
            return 86; // 102nd key
        case 0x57:
            return 87; // F11
        case 0x58:
            return 88; // F12
        case 0x70:
            return 93; // Katakana/Hiragana
        case 0x73:
            return 89; // Ro
        case 0x79:
            return 92; // Henkan
        case 0x7B:
            return 94; // Muhenkan
        case 0x7D:
            return 124; // Yen
        default:
            return 0;
        }
    }
    switch (code) {
    case 0x1C:
        return 96; // keypad Enter
    case 0x1D:
        return 97; // right Ctrl
    case 0x20:
        return 113; // mute
    case 0x2E:
        return 114; // volume down
    case 0x30:
        return 115; // volume up
    case 0x35:
        return 98; // keypad /
    case 0x37:
        return 99; // Print Screen
    case 0x38:
        return 100; // right Alt
    case 0x45:
        return 119; // Pause
    case 0x47:
        return 102; // Home
    case 0x48:
        return 103; // Up
    case 0x49:
        return 104; // Page Up
    case 0x4B:
        return 105; // Left
    case 0x4D:
        return 106; // Right
    case 0x4F:
        return 107; // End
    case 0x50:
        return 108; // Down
    case 0x51:
        return 109; // Page Down
    case 0x52:
        return 110; // Insert
    case 0x53:
        return 111; // Delete
    case 0x5B:
        return 125; // left Windows
    case 0x5C:
        return 126; // right Windows
    case 0x5D:
        return 127; // Menu
    default:
        return 0;
    }
}

// Windows virtual-key code -> keysym, for keys sent without a usable scan code.
KeySym keysymFromVirtualKey(uint16_t pVk)
{
    if (pVk >= 0x30 && pVk <= 0x39)
        return XK_0 + (pVk - 0x30);
    if (pVk >= 0x41 && pVk <= 0x5A)
        return XK_a + (pVk - 0x41);
    if (pVk >= 0x60 && pVk <= 0x69)
        return XK_KP_0 + (pVk - 0x60);
    if (pVk >= 0x70 && pVk <= 0x87)
        return XK_F1 + (pVk - 0x70);
    switch (pVk) {
    case 0x08:
        return XK_BackSpace;
    case 0x09:
        return XK_Tab;
    case 0x0C:
        return XK_Clear;
    case 0x0D:
        return XK_Return;
    case 0x10:
        return XK_Shift_L;
    case 0x11:
        return XK_Control_L;
    case 0x12:
        return XK_Alt_L;
    case 0x13:
        return XK_Pause;
    case 0x14:
        return XK_Caps_Lock;
    case 0x1B:
        return XK_Escape;
    case 0x20:
        return XK_space;
    case 0x21:
        return XK_Prior;
    case 0x22:
        return XK_Next;
    case 0x23:
        return XK_End;
    case 0x24:
        return XK_Home;
    case 0x25:
        return XK_Left;
    case 0x26:
        return XK_Up;
    case 0x27:
        return XK_Right;
    case 0x28:
        return XK_Down;
    case 0x2C:
        return XK_Print;
    case 0x2D:
        return XK_Insert;
    case 0x2E:
        return XK_Delete;
    case 0x5B:
        return XK_Super_L;
    case 0x5C:
        return XK_Super_R;
    case 0x5D:
        return XK_Menu;
    case 0x6A:
        return XK_KP_Multiply;
    case 0x6B:
        return XK_KP_Add;
    case 0x6C:
        return XK_KP_Separator;
    case 0x6D:
        return XK_KP_Subtract;
    case 0x6E:
        return XK_KP_Decimal;
    case 0x6F:
        return XK_KP_Divide;
    case 0x90:
        return XK_Num_Lock;
    case 0x91:
        return XK_Scroll_Lock;
    case 0xA0:
        return XK_Shift_L;
    case 0xA1:
        return XK_Shift_R;
    case 0xA2:
        return XK_Control_L;
    case 0xA3:
        return XK_Control_R;
    case 0xA4:
        return XK_Alt_L;
    case 0xA5:
        return XK_Alt_R;
    case 0xAD:
        return XF86XK_AudioMute;
    case 0xAE:
        return XF86XK_AudioLowerVolume;
    case 0xAF:
        return XF86XK_AudioRaiseVolume;
    case 0xBA:
        return XK_semicolon;
    case 0xBB:
        return XK_equal;
    case 0xBC:
        return XK_comma;
    case 0xBD:
        return XK_minus;
    case 0xBE:
        return XK_period;
    case 0xBF:
        return XK_slash;
    case 0xC0:
        return XK_grave;
    case 0xDB:
        return XK_bracketleft;
    case 0xDC:
        return XK_backslash;
    case 0xDD:
        return XK_bracketright;
    case 0xDE:
        return XK_apostrophe;
    case 0xE2:
        return XK_less;
    default:
        return NoSymbol;
    }
}

KeySym keysymFromCodePoint(uint32_t pCode)
{
    switch (pCode) {
    case 0x08:
        return XK_BackSpace;
    case 0x09:
        return XK_Tab;
    case 0x0A:
    case 0x0D:
        return XK_Return;
    case 0x1B:
        return XK_Escape;
    case 0x7F:
        return XK_Delete;
    default:
        break;
    }
    if (pCode < 0x20 || (pCode >= 0x80 && pCode < 0xA0) || pCode > 0x10FFFF)
        return NoSymbol;
    if (pCode < 0x100)
        return pCode; // Latin-1 keysyms are the code points
    return 0x01000000 | pCode;
}

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

std::unique_ptr<InputBackend> createSystemInputBackend()
{
    return std::make_unique<LinuxInputBackend>();
}

} // namespace glimra::platform
