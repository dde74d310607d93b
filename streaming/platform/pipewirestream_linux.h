// SPDX-License-Identifier: GPL-2.0-or-later
// Reads one PipeWire video stream (the portal's screen cast) into memory:
// 32-bit BGRx/BGRA in shared memory, with the damage and cursor metadata the
// producer attaches.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;

namespace glimra::platform {

// Threads: start/stop and the take* calls from one thread (the capture's);
// the frames arrive on PipeWire's own loop thread.
class PipeWireStream {
public:
    PipeWireStream();
    ~PipeWireStream();
    PipeWireStream(const PipeWireStream &) = delete;
    PipeWireStream &operator=(const PipeWireStream &) = delete;

    // Connects to node pNode over the portal's descriptor (taken over).
    bool start(int pFd, uint32_t pNode);
    void stop();

    // The size of the newest frame; 0 x 0 until the first one.
    void size(int &pWidth, int &pHeight) const;
    bool failed() const;
    // Whether pixels changed since the last call: a frame arrived with
    // damage, or without damage metadata. The first frame counts.
    bool takeDamage();
    // The newest frame when it is pWidth x pHeight: rows pStride apart,
    // valid until the next call. Null when there is none of that size.
    const uint8_t *takeFrame(int pWidth, int pHeight, int &pStride);
    // The pointer as the last cursor metadata gave it, in stream pixels;
    // false when hidden, outside, or never reported.
    bool cursor(int &pX, int &pY) const;

    // PipeWire's loop thread.
    pw_stream *stream() const;
    void onFormat(int pWidth, int pHeight, bool pValid);
    void onProcess();
    void onStreamError(const char *pWhy);

private:
    pw_thread_loop *mLoop = nullptr;
    pw_context *mContext = nullptr;
    pw_core *mCore = nullptr;
    pw_stream *mStream = nullptr;
    struct Listeners;
    std::unique_ptr<Listeners> mListeners;

    mutable std::mutex mMutex; // guards everything below
    int mWidth = 0;
    int mHeight = 0;
    bool mFailed = false;
    bool mStopping = false;
    bool mDamaged = false;
    bool mFresh = false;        // mBack holds a frame not yet taken
    std::vector<uint8_t> mBack; // the newest frame, rows of width * 4
    int mBackWidth = 0, mBackHeight = 0;
    std::vector<uint8_t> mFront; // what takeFrame handed out
    int mFrontWidth = 0, mFrontHeight = 0;
    bool mCursorVisible = false;
    int mCursorX = 0, mCursorY = 0;
    bool mNoMappingLogged = false;
};

} // namespace glimra::platform
