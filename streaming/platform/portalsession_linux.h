// SPDX-License-Identifier: GPL-2.0-or-later
// A screen-sharing session of the desktop portal (xdg-desktop-portal), shared
// by the portal capture and the portal input backend: capture and input must
// use one session so that pointer positions refer to the captured stream.
#pragma once

#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QVariant>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class QThread;

namespace glimra::platform {

class PortalHandshake;

// The one stream a session hands out: a PipeWire node and, as the portal
// gives them, its place and size in the compositor's (logical) coordinates.
struct PortalStream {
    uint32_t node = 0;
    int x = 0;
    int y = 0;
    int width = 0; // 0 when the portal did not say
    int height = 0;
};

// Device types as the portal counts them.
constexpr uint32_t PortalKeyboard = 1;
constexpr uint32_t PortalPointer = 2;
constexpr uint32_t PortalTouchscreen = 4;

// Where the restore tokens live: beside the client's settings file.
QString portalTokenFile();

// Threads: open() and the destructor from the capture's thread; the input
// calls from any thread; the handshake runs on a thread of its own, so a
// consent dialog never blocks a caller and a stop never waits for the user.
class PortalSession {
public:
    enum class State { Starting, Started, Failed, Closed };

    // Starts a new session (asynchronously). With pInput it is a remote
    // desktop session (pointer, keyboard, and touch where offered) with its
    // screen cast; otherwise a screen cast only. Any earlier session is
    // closed once its last holder lets it go.
    static std::shared_ptr<PortalSession> open(bool pInput);
    // The session the capture holds, if any.
    static std::shared_ptr<PortalSession> current();
    // Whether the portal frontend answers on the session bus.
    static bool portalAvailable();
    // The device types the portal offers for remote desktop (0 if none).
    static uint32_t availableDeviceTypes();

    ~PortalSession();
    PortalSession(const PortalSession &) = delete;
    PortalSession &operator=(const PortalSession &) = delete;

    State state() const;
    // Waits up to pMs for the handshake to end; true when the session started.
    bool waitForStart(int pMs);
    PortalStream stream() const;
    uint32_t devices() const; // granted device types
    bool hasInput() const { return mInput; }
    // The stream cannot be read (no PipeWire connection, producer gone):
    // the session counts as failed from now on.
    void markFailed();
    // The PipeWire connection of the started session; the caller owns it.
    // -1 before the start or after the first call.
    int takePipeWireFd();

    // Input on the session's stream; dropped unless granted. Positions are
    // in the stream's coordinates.
    void pointerMotionAbsolute(double pX, double pY);
    void pointerMotion(double pDx, double pDy);
    void pointerButton(int32_t pEvdevButton, bool pPressed);
    void pointerAxisDiscrete(uint32_t pAxis, int32_t pSteps);
    void keyboardKeycode(int32_t pEvdevKey, bool pPressed);
    void keyboardKeysym(int32_t pKeysym, bool pPressed);
    void touchDown(uint32_t pSlot, double pX, double pY);
    void touchMotion(uint32_t pSlot, double pX, double pY);
    void touchUp(uint32_t pSlot);

private:
    explicit PortalSession(bool pInput);
    friend class PortalHandshake;
    void settle(State pState, const PortalStream &pStream, uint32_t pDevices, int pFd, const QString &pHandle);
    bool sendInput(uint32_t pDevice, const char *pMethod, const QList<QVariant> &pArguments);
    bool nextInput(QDBusMessage &pMessage); // the handshake thread

    const bool mInput;
    mutable std::mutex mMutex;
    std::condition_variable mSettled;
    State mState = State::Starting;
    PortalStream mStream;
    uint32_t mDevices = 0;
    int mFd = -1;
    QString mSessionHandle;
    // The frontend handles each call on a thread of its own, so calls sent
    // together may overtake each other: input goes one call at a time.
    std::deque<QDBusMessage> mInputQueue;
    bool mInputInFlight = false;
    bool mOverflowLogged = false;
    std::atomic<bool> mDeniedLogged{false};
    std::unique_ptr<QThread> mThread;
    PortalHandshake *mHandshake = nullptr; // lives in mThread
};

} // namespace glimra::platform
