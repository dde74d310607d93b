// SPDX-License-Identifier: GPL-2.0-or-later
// Windows input: SendInput for mouse and keyboard; touch through
// InitializeTouchInjection/InjectTouchInput, looked up in user32.dll at run
// time so the library also loads where they do not exist.
#include "platform/inputbackend.h"

#include <windows.h>

#include <cstdio>

namespace glimra::platform {
namespace {

// POINTER_INFO and POINTER_TOUCH_INFO, declared here with the system's
// layout: SDK headers declare them only for newer target versions.
struct PointerInfo {
    DWORD pointerType;
    UINT32 pointerId;
    UINT32 frameId;
    UINT32 pointerFlags;
    HANDLE sourceDevice;
    HWND hwndTarget;
    POINT ptPixelLocation;
    POINT ptHimetricLocation;
    POINT ptPixelLocationRaw;
    POINT ptHimetricLocationRaw;
    DWORD dwTime;
    UINT32 historyCount;
    INT32 inputData;
    DWORD dwKeyStates;
    UINT64 performanceCount;
    int buttonChangeType;
};

struct PointerTouchInfo {
    PointerInfo pointerInfo;
    UINT32 touchFlags;
    UINT32 touchMask;
    RECT rcContact;
    RECT rcContactRaw;
    UINT32 orientation;
    UINT32 pressure;
};

constexpr DWORD PtTouch = 2;               // PT_TOUCH
constexpr UINT32 TouchFlagNone = 0;        // TOUCH_FLAG_NONE
constexpr DWORD TouchFeedbackIndirect = 2; // TOUCH_FEEDBACK_INDIRECT
constexpr UINT32 MaxTouchContacts = 20;

using InitializeTouchInjectionFn = BOOL(WINAPI *)(UINT32, DWORD);
using InjectTouchInputFn = BOOL(WINAPI *)(UINT32, const PointerTouchInfo *);

template <typename Fn> Fn lookUp(HMODULE pModule, const char *pName)
{
    // Through void(*)(): a cast between unrelated function types.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(pModule, pName)));
}

class WindowsInputBackend final : public InputBackend {
public:
    WindowsInputBackend()
    {
        mUser32 = LoadLibraryW(L"user32.dll");
        if (mUser32) {
            mInitialize = lookUp<InitializeTouchInjectionFn>(mUser32, "InitializeTouchInjection");
            if (mInitialize)
                mInject = lookUp<InjectTouchInputFn>(mUser32, "InjectTouchInput");
        }
        if (mInitialize && mInject) {
            if (!mInitialize(MaxTouchContacts, TouchFeedbackIndirect))
                std::fprintf(stderr, "error = %lu\n", static_cast<unsigned long>(GetLastError()));
        }
        // Announced even when the initialisation failed.
        mTouchAvailable = mInitialize && mInject;
    }

    ~WindowsInputBackend() override
    {
        if (mUser32)
            FreeLibrary(mUser32);
    }

    void setDesktopMetrics(const DesktopMetrics &) override {} // SendInput normalises itself

    void sendMouse(const MouseInput &pInput) override
    {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = pInput.dx;
        input.mi.dy = pInput.dy;
        input.mi.mouseData = pInput.mouseData;
        input.mi.dwFlags = pInput.flags;
        input.mi.time = 0;
        input.mi.dwExtraInfo = 0;
        SendInput(1, &input, sizeof(INPUT));
    }

    void sendKey(const KeyInput &pInput) override
    {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = pInput.virtualKey;
        input.ki.wScan = pInput.scanCode;
        input.ki.dwFlags = pInput.flags;
        input.ki.time = 0;
        input.ki.dwExtraInfo = 0;
        SendInput(1, &input, sizeof(INPUT));
    }

    bool touchAvailable() const override { return mTouchAvailable; }

    bool injectTouch(const std::vector<TouchContact> &pContacts) override
    {
        if (!mInject) {
            mLastError = ERROR_CALL_NOT_IMPLEMENTED;
            return false;
        }
        mBuffer.assign(pContacts.size(), PointerTouchInfo{});
        for (size_t i = 0; i < pContacts.size(); ++i) {
            PointerTouchInfo &info = mBuffer[i];
            info.pointerInfo.pointerType = PtTouch;
            info.pointerInfo.pointerId = pContacts[i].pointerId;
            info.pointerInfo.pointerFlags = pContacts[i].pointerFlags;
            info.pointerInfo.ptPixelLocation.x = pContacts[i].x;
            info.pointerInfo.ptPixelLocation.y = pContacts[i].y;
            info.touchFlags = TouchFlagNone;
        }
        if (mInject(static_cast<UINT32>(mBuffer.size()), mBuffer.data()))
            return true;
        mLastError = GetLastError();
        return false;
    }

    unsigned long lastError() const override { return mLastError; }

private:
    HMODULE mUser32 = nullptr;
    InitializeTouchInjectionFn mInitialize = nullptr;
    InjectTouchInputFn mInject = nullptr;
    bool mTouchAvailable = false;
    unsigned long mLastError = 0;
    std::vector<PointerTouchInfo> mBuffer; // touch thread only
};

} // namespace

std::unique_ptr<InputBackend> createSystemInputBackend()
{
    return std::make_unique<WindowsInputBackend>();
}

// SendInput needs no rights asked for in advance.
void setRemoteInputWanted(bool) {}

} // namespace glimra::platform
