// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "platform/inputbackend.h"

#include <mutex>
#include <vector>

// Records every call instead of injecting it (tests). Thread-safe.
class RecordingInputBackend : public glimra::platform::InputBackend {
public:
    explicit RecordingInputBackend(bool pTouchAvailable = true) : mTouchAvailable(pTouchAvailable) {}

    void setDesktopMetrics(const glimra::platform::DesktopMetrics &pMetrics) override;
    void sendMouse(const glimra::platform::MouseInput &pInput) override;
    void sendKey(const glimra::platform::KeyInput &pInput) override;
    bool touchAvailable() const override { return mTouchAvailable; }
    bool injectTouch(const std::vector<glimra::platform::TouchContact> &pContacts) override;
    unsigned long lastError() const override { return 0; }

    std::vector<glimra::platform::MouseInput> mouse() const;
    std::vector<glimra::platform::KeyInput> keys() const;
    std::vector<std::vector<glimra::platform::TouchContact>> touchTicks() const; // one entry per injection
    glimra::platform::DesktopMetrics metrics() const;
    void clear();

private:
    mutable std::mutex mMutex;
    bool mTouchAvailable;
    glimra::platform::DesktopMetrics mMetrics;
    std::vector<glimra::platform::MouseInput> mMouse;
    std::vector<glimra::platform::KeyInput> mKeys;
    std::vector<std::vector<glimra::platform::TouchContact>> mTouch;
};
