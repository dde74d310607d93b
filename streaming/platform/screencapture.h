// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The seam between the portable grabber and the operating system's monitor
// enumeration and pixel capture. Standard library only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace glimra::platform {

// Image sizes are multiples of 4, so 24-bit rows need no padding:
// v - (v mod 4), 1366 -> 1364.
inline int32_t roundDownToMultipleOf4(int32_t pValue)
{
    return pValue - (pValue % 4);
}

struct MonitorInfo {
    std::wstring name; // device name as the OS reports it
    int32_t x = 0;     // position in the virtual desktop
    int32_t y = 0;
    int32_t logicalWidth = 0;
    int32_t logicalHeight = 0;
    int32_t physicalWidth = 0;
    int32_t physicalHeight = 0;
};

// One object per thread; not shared between threads.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;
    // Monitors in index order (stable between calls while nothing changes).
    virtual std::vector<MonitorInfo> enumerateMonitors() = 0;
    virtual int monitorCount() = 0;
    // Opens the named monitor for a run of captures.
    virtual bool open(const std::wstring &pName) = 0;
    // Current geometry of the opened monitor.
    virtual bool readGeometry(MonitorInfo &pInfo) = 0;
    // Prepares buffers for captures of pWidth x pHeight from the top-left of the monitor.
    virtual bool prepare(int pWidth, int pHeight) = 0;
    // Writes pWidth x pHeight pixels as B, G, R rows top to bottom without padding.
    // On failure the destination keeps its previous pixels.
    virtual bool capture(uint8_t *pBgr) = 0;
    // Whether the opened monitor's pixels may have changed since the last call
    // (the first call says yes). Cheap: no pixels move. A capture that cannot
    // tell always says yes; the caller then compares pictures.
    virtual bool mayHaveChanged() { return true; }
    // Captures told of changes as they happen can wait for one: waitForChange()
    // blocks until the pixels may have changed (true), wakeWait() is called or
    // pTimeoutMs passes (false). wakeWait() may be called from any thread
    // while the object exists; a wake that comes before the wait ends it.
    virtual bool canWaitForChange() const { return false; }
    virtual bool waitForChange(int pTimeoutMs)
    {
        (void)pTimeoutMs;
        return false;
    }
    virtual void wakeWait() {}
    // Captures whose own pixels are 32-bit B, G, R, X hand them out as they
    // are, saving a pass: valid until the next call, rows pStride bytes apart;
    // null when the capture failed.
    virtual bool hasBgrx() const { return false; }
    virtual const uint8_t *captureBgrx(int &pStride)
    {
        pStride = 0;
        return nullptr;
    }
    virtual void close() = 0;
};

std::unique_ptr<ScreenCapture> createSystemScreenCapture();

// Where the pointer is, when the capture itself knows: a capture that cannot
// see the pointer through the windowing system reports it from its own
// stream, as a fraction of the streamed picture, or says it is not known.
struct CapturedPointer {
    enum Source { WindowingSystem, Unknown, Captured };
    Source source = WindowingSystem;
    float x = 0.0f; // 0..1 across the picture
    float y = 0.0f;
};
CapturedPointer capturedPointer();

} // namespace glimra::platform
