// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Linux only: touch contacts as a uinput multi-touch device (protocol B).

#include "platform/inputbackend.h"

#include <linux/input.h>

#include <vector>

namespace glimra::platform {

// Turns the contacts of one tick into evdev events, remembering which slots
// are tracked. Slot = pointer id; ids outside the slots are skipped.
//   per contact:  ABS_MT_SLOT id | [ABS_MT_TRACKING_ID new] | ABS_MT_POSITION_X/Y | (first: ABS_X/Y)
//   up contact:   ABS_MT_SLOT id | ABS_MT_TRACKING_ID -1
//   then:         [BTN_TOUCH 0/1 when it changes] | SYN_REPORT
class UinputTouchEncoder {
public:
    static constexpr int Slots = 20;

    std::vector<input_event> frame(const std::vector<TouchContact> &pContacts);

private:
    int mTracking[Slots] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    int mNextTracking = 0;
    bool mTouching = false;
};

// The device itself. open() fails where /dev/uinput is not writable.
class UinputTouch {
public:
    UinputTouch() = default;
    ~UinputTouch();
    UinputTouch(const UinputTouch &) = delete;
    UinputTouch &operator=(const UinputTouch &) = delete;

    // Axes span pWidth x pHeight: the X screen, which is where a direct
    // touch device is mapped by default.
    bool open(int pWidth, int pHeight);
    bool isOpen() const { return mFd >= 0; }
    bool inject(const std::vector<TouchContact> &pContacts);
    unsigned long lastError() const { return mLastError; }

private:
    int mFd = -1;
    unsigned long mLastError = 0;
    UinputTouchEncoder mEncoder;
};

} // namespace glimra::platform
