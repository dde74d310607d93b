// SPDX-License-Identifier: GPL-2.0-or-later
// Windows capture through the GDI: monitors from EnumDisplayMonitors, each
// opened as its own device context and copied with BitBlt into a 24-bit
// top-down DIB section of a compatible bitmap.
#include "platform/screencapture.h"

#include <windows.h>

#include <dwmapi.h>

namespace glimra::platform {
namespace {

BOOL CALLBACK collectMonitor(HMONITOR pMonitor, HDC, LPRECT, LPARAM pList)
{
    MONITORINFOEXW info{};
    info.cbSize = sizeof(MONITORINFOEXW); // 104 bytes
    if (!GetMonitorInfoW(pMonitor, &info))
        return TRUE;
    MonitorInfo monitor;
    monitor.name = info.szDevice;
    monitor.x = info.rcMonitor.left;
    monitor.y = info.rcMonitor.top;
    HDC dc = CreateDCW(info.szDevice, nullptr, nullptr, nullptr);
    if (dc) {
        monitor.logicalWidth = GetDeviceCaps(dc, HORZRES);
        monitor.logicalHeight = GetDeviceCaps(dc, VERTRES);
        monitor.physicalWidth = GetDeviceCaps(dc, DESKTOPHORZRES);
        monitor.physicalHeight = GetDeviceCaps(dc, DESKTOPVERTRES);
        DeleteDC(dc);
    }
    reinterpret_cast<std::vector<MonitorInfo> *>(pList)->push_back(monitor);
    return TRUE;
}

class GdiScreenCapture final : public ScreenCapture {
public:
    ~GdiScreenCapture() override { close(); }

    std::vector<MonitorInfo> enumerateMonitors() override
    {
        std::vector<MonitorInfo> list;
        HDC screen = GetDC(nullptr);
        EnumDisplayMonitors(screen, nullptr, &collectMonitor, reinterpret_cast<LPARAM>(&list));
        ReleaseDC(nullptr, screen);
        return list;
    }

    int monitorCount() override { return GetSystemMetrics(SM_CMONITORS); }

    bool open(const std::wstring &pName) override
    {
        close();
        mMonitorDc = CreateDCW(pName.c_str(), nullptr, nullptr, nullptr);
        return mMonitorDc != nullptr;
    }

    bool readGeometry(MonitorInfo &pInfo) override
    {
        if (!mMonitorDc)
            return false;
        pInfo.logicalWidth = GetDeviceCaps(mMonitorDc, HORZRES);
        pInfo.logicalHeight = GetDeviceCaps(mMonitorDc, VERTRES);
        pInfo.physicalWidth = GetDeviceCaps(mMonitorDc, DESKTOPHORZRES);
        pInfo.physicalHeight = GetDeviceCaps(mMonitorDc, DESKTOPVERTRES);
        return true;
    }

    bool prepare(int pWidth, int pHeight) override
    {
        releaseBitmap();
        if (!mMonitorDc || pWidth <= 0 || pHeight <= 0)
            return false;
        mWidth = pWidth;
        mHeight = pHeight;
        mMemoryDc = CreateCompatibleDC(mMonitorDc);
        mBitmap = CreateCompatibleBitmap(mMonitorDc, pWidth, pHeight);
        if (!mMemoryDc || !mBitmap) {
            releaseBitmap();
            return false;
        }
        mPrevious = SelectObject(mMemoryDc, mBitmap);
        mHeader = BITMAPINFOHEADER{};
        mHeader.biSize = sizeof(BITMAPINFOHEADER); // 40
        mHeader.biWidth = pWidth;
        mHeader.biHeight = -pHeight; // rows top-down
        mHeader.biPlanes = 1;
        mHeader.biBitCount = 24;
        mHeader.biCompression = BI_RGB;
        mHeader.biSizeImage = DWORD(pWidth) * DWORD(pHeight) * 3;
        BOOL composition = TRUE;
        mCaptureBlit = SUCCEEDED(DwmIsCompositionEnabled(&composition)) && !composition;
        return true;
    }

    bool capture(uint8_t *pBgr) override
    {
        if (!mMemoryDc)
            return false;
        const DWORD rop = mCaptureBlit ? (SRCCOPY | CAPTUREBLT) : SRCCOPY;
        if (!BitBlt(mMemoryDc, 0, 0, mWidth, mHeight, mMonitorDc, 0, 0, rop))
            return false;
        BITMAPINFO info{};
        info.bmiHeader = mHeader;
        // GetDIBits wants the bitmap outside any device context.
        SelectObject(mMemoryDc, mPrevious);
        const int lines = GetDIBits(mMemoryDc, mBitmap, 0, UINT(mHeight), pBgr, &info, DIB_RGB_COLORS);
        SelectObject(mMemoryDc, mBitmap);
        return lines == mHeight;
    }

    void close() override
    {
        releaseBitmap();
        if (mMonitorDc)
            DeleteDC(mMonitorDc);
        mMonitorDc = nullptr;
    }

private:
    void releaseBitmap()
    {
        if (mMemoryDc && mPrevious)
            SelectObject(mMemoryDc, mPrevious);
        if (mBitmap)
            DeleteObject(mBitmap);
        if (mMemoryDc)
            DeleteDC(mMemoryDc);
        mPrevious = nullptr;
        mBitmap = nullptr;
        mMemoryDc = nullptr;
    }

    HDC mMonitorDc = nullptr;
    HDC mMemoryDc = nullptr;
    HBITMAP mBitmap = nullptr;
    HGDIOBJ mPrevious = nullptr;
    BITMAPINFOHEADER mHeader{};
    bool mCaptureBlit = false;
    int mWidth = 0;
    int mHeight = 0;
};

} // namespace

std::unique_ptr<ScreenCapture> createSystemScreenCapture()
{
    return std::make_unique<GdiScreenCapture>();
}

// GDI leaves the pointer to the window system.
CapturedPointer capturedPointer()
{
    return CapturedPointer();
}

} // namespace glimra::platform
