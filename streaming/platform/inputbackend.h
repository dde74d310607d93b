// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The seam between the portable input logic and the operating system.
// Values follow the Win32 INPUT/POINTER_TOUCH_INFO meaning so the Windows
// backend passes them through; other backends translate them.
// Standard library only (compiled by the Windows cross build as well).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace glimra::platform {

// Mouse flags (MOUSEEVENTF_*).
constexpr uint32_t MouseMove = 0x0001;
constexpr uint32_t MouseLeftDown = 0x0002;
constexpr uint32_t MouseLeftUp = 0x0004;
constexpr uint32_t MouseRightDown = 0x0008;
constexpr uint32_t MouseRightUp = 0x0010;
constexpr uint32_t MouseMiddleDown = 0x0020;
constexpr uint32_t MouseMiddleUp = 0x0040;
constexpr uint32_t MouseWheel = 0x0800;
constexpr uint32_t MouseAbsolute = 0x8000;

// Keyboard flags (KEYEVENTF_*).
constexpr uint32_t KeyExtendedKey = 0x0001;
constexpr uint32_t KeyKeyUp = 0x0002;
constexpr uint32_t KeyUnicode = 0x0004;
constexpr uint32_t KeyScanCode = 0x0008;

// Pointer flags (POINTER_FLAG_*).
constexpr uint32_t PointerInRange = 0x00002;
constexpr uint32_t PointerInContact = 0x00004;
constexpr uint32_t PointerDown = 0x10000;
constexpr uint32_t PointerUpdate = 0x20000;
constexpr uint32_t PointerUp = 0x40000;

// One mouse INPUT. With MouseAbsolute, dx/dy are normalised 0..65535 over the
// primary monitor (physical pixels); otherwise a displacement in pixels.
struct MouseInput {
    int32_t dx = 0;
    int32_t dy = 0;
    uint32_t mouseData = 0; // wheel delta (signed, as two's complement)
    uint32_t flags = 0;
};

// One keyboard INPUT.
struct KeyInput {
    uint16_t virtualKey = 0;
    uint16_t scanCode = 0; // UTF-16 code unit with KeyUnicode
    uint32_t flags = 0;
};

// One touch contact as InjectTouchInput takes it (the fields we fill).
struct TouchContact {
    uint32_t pointerId = 0;
    uint32_t pointerFlags = 0;
    int32_t x = 0; // virtual-desktop pixels
    int32_t y = 0;
};

// Geometry the backend needs to interpret absolute coordinates.
struct DesktopMetrics {
    int32_t primaryPhysicalWidth = 0;
    int32_t primaryPhysicalHeight = 0;
    // The streamed monitor as absolute positions are computed against it:
    // its corner in the virtual desktop and its size in physical pixels.
    // Backends that inject relative to the stream turn positions back into
    // fractions of it.
    int32_t targetX = 0;
    int32_t targetY = 0;
    int32_t targetPhysicalWidth = 0;
    int32_t targetPhysicalHeight = 0;
};

// Threads: sendMouse/sendKey from one thread (the client manager),
// injectTouch from the touch thread; implementations keep them independent.
class InputBackend {
public:
    virtual ~InputBackend() = default;
    virtual void setDesktopMetrics(const DesktopMetrics &pMetrics) = 0;
    virtual void sendMouse(const MouseInput &pInput) = 0;
    virtual void sendKey(const KeyInput &pInput) = 0;
    // True when touch injection works on this system.
    virtual bool touchAvailable() const = 0;
    // All active contacts of one tick. False on failure; lastError() says why.
    virtual bool injectTouch(const std::vector<TouchContact> &pContacts) = 0;
    virtual unsigned long lastError() const = 0;
};

// The backend of this operating system (XTest/uinput, the desktop portal, or SendInput).
std::unique_ptr<InputBackend> createSystemInputBackend();

// Whether the room may control this computer in the next stream: backends
// that must ask for input rights when a stream starts ask only then.
void setRemoteInputWanted(bool pWanted);

} // namespace glimra::platform
