// SPDX-License-Identifier: GPL-2.0-or-later
#include "input/recordinginputbackend.h"

using namespace glimra::platform;

void RecordingInputBackend::setDesktopMetrics(const DesktopMetrics &pMetrics)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mMetrics = pMetrics;
}

void RecordingInputBackend::sendMouse(const MouseInput &pInput)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mMouse.push_back(pInput);
}

void RecordingInputBackend::sendKey(const KeyInput &pInput)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mKeys.push_back(pInput);
}

bool RecordingInputBackend::injectTouch(const std::vector<TouchContact> &pContacts)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mTouch.push_back(pContacts);
    return true;
}

std::vector<MouseInput> RecordingInputBackend::mouse() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mMouse;
}

std::vector<KeyInput> RecordingInputBackend::keys() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mKeys;
}

std::vector<std::vector<TouchContact>> RecordingInputBackend::touchTicks() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mTouch;
}

DesktopMetrics RecordingInputBackend::metrics() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mMetrics;
}

void RecordingInputBackend::clear()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mMouse.clear();
    mKeys.clear();
    mTouch.clear();
}
