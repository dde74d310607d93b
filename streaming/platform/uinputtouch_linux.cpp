// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/platformlog_linux.h"
#include "platform/uinputtouch.h"

#include <QLoggingCategory>

#include <linux/uinput.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace glimra::platform {
namespace {

void push(std::vector<input_event> &pEvents, int pType, int pCode, int pValue)
{
    input_event event{};
    event.type = uint16_t(pType);
    event.code = uint16_t(pCode);
    event.value = pValue;
    pEvents.push_back(event);
}

} // namespace

std::vector<input_event> UinputTouchEncoder::frame(const std::vector<TouchContact> &pContacts)
{
    std::vector<input_event> events;
    bool first = true;
    for (const TouchContact &contact : pContacts) {
        if (contact.pointerId >= uint32_t(Slots))
            continue;
        const int slot = int(contact.pointerId);
        push(events, EV_ABS, ABS_MT_SLOT, slot);
        if (contact.pointerFlags & PointerUp) {
            if (mTracking[slot] >= 0)
                push(events, EV_ABS, ABS_MT_TRACKING_ID, -1);
            mTracking[slot] = -1;
            continue;
        }
        if (mTracking[slot] < 0) {
            mTracking[slot] = mNextTracking;
            mNextTracking = (mNextTracking + 1) % 65536;
            push(events, EV_ABS, ABS_MT_TRACKING_ID, mTracking[slot]);
        }
        push(events, EV_ABS, ABS_MT_POSITION_X, contact.x);
        push(events, EV_ABS, ABS_MT_POSITION_Y, contact.y);
        if (first) {
            // Single-touch emulation follows the first contact.
            push(events, EV_ABS, ABS_X, contact.x);
            push(events, EV_ABS, ABS_Y, contact.y);
            first = false;
        }
    }
    const bool touching = std::any_of(std::begin(mTracking), std::end(mTracking), [](int t) { return t >= 0; });
    if (touching != mTouching)
        push(events, EV_KEY, BTN_TOUCH, touching ? 1 : 0);
    mTouching = touching;
    push(events, EV_SYN, SYN_REPORT, 0);
    return events;
}

UinputTouch::~UinputTouch()
{
    if (mFd >= 0) {
        ioctl(mFd, UI_DEV_DESTROY);
        ::close(mFd);
    }
}

bool UinputTouch::open(int pWidth, int pHeight)
{
    mFd = ::open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (mFd < 0)
        return false;
    bool ok = ioctl(mFd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(mFd, UI_SET_KEYBIT, BTN_TOUCH) == 0 &&
              ioctl(mFd, UI_SET_EVBIT, EV_ABS) == 0 && ioctl(mFd, UI_SET_PROPBIT, INPUT_PROP_DIRECT) == 0;
    const struct {
        int code, max;
    } axes[] = {{ABS_X, pWidth - 1},
                {ABS_Y, pHeight - 1},
                {ABS_MT_SLOT, UinputTouchEncoder::Slots - 1},
                {ABS_MT_TRACKING_ID, 65535},
                {ABS_MT_POSITION_X, pWidth - 1},
                {ABS_MT_POSITION_Y, pHeight - 1}};
    for (const auto &axis : axes) {
        uinput_abs_setup setup{};
        setup.code = uint16_t(axis.code);
        setup.absinfo.maximum = std::max(axis.max, 1);
        ok = ok && ioctl(mFd, UI_SET_ABSBIT, axis.code) == 0 && ioctl(mFd, UI_ABS_SETUP, &setup) == 0;
    }
    uinput_setup device{};
    device.id.bustype = BUS_VIRTUAL;
    device.id.vendor = 0x1d6b;
    device.id.product = 0x0147;
    std::strncpy(device.name, "Glimra remote touch", UINPUT_MAX_NAME_SIZE - 1);
    ok = ok && ioctl(mFd, UI_DEV_SETUP, &device) == 0 && ioctl(mFd, UI_DEV_CREATE) == 0;
    if (!ok) {
        qCWarning(lcPlatform) << "cannot create the uinput touch device:" << std::strerror(errno);
        ::close(mFd);
        mFd = -1;
    }
    return ok;
}

bool UinputTouch::inject(const std::vector<TouchContact> &pContacts)
{
    if (mFd < 0)
        return false;
    const std::vector<input_event> events = mEncoder.frame(pContacts);
    const size_t bytes = events.size() * sizeof(input_event);
    const ssize_t written = ::write(mFd, events.data(), bytes);
    if (written != ssize_t(bytes)) {
        mLastError = written < 0 ? unsigned(errno) : unsigned(EIO);
        return false;
    }
    return true;
}

} // namespace glimra::platform
