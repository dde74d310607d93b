// SPDX-License-Identifier: GPL-2.0-or-later
// X11 capture: RandR monitors, MIT-SHM GetImage of the monitor's rectangle
// of the root window, plain GetImage when shared memory is not available
// (remote display, extension missing).
#include "platform/screencapture.h"

#include <QLoggingCategory>

#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>

namespace glimra::platform {
namespace {

Q_LOGGING_CATEGORY(lcCapture, "glimra.capture")

std::wstring fromUtf8(const char *pText, int pLength)
{
    std::wstring out;
    for (int i = 0; i < pLength;) {
        const unsigned char c = static_cast<unsigned char>(pText[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        uint32_t code = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        if (i + extra >= pLength) {
            out.push_back(L'?');
            break;
        }
        for (int k = 1; k <= extra; ++k)
            code = (code << 6) | (static_cast<unsigned char>(pText[i + k]) & 0x3F);
        out.push_back(static_cast<wchar_t>(code));
        i += extra + 1;
    }
    return out;
}

// 4 BGRA pixels (16 bytes) -> 4 BGR pixels (12 bytes), little-endian words.
void bgraToBgr(const uint8_t *pSrc, uint8_t *pDst, size_t pPixels)
{
    size_t i = 0;
    for (; i + 4 <= pPixels; i += 4) {
        uint32_t p[4];
        std::memcpy(p, pSrc + i * 4, 16);
        const uint32_t out[3] = {(p[0] & 0xFFFFFFu) | (p[1] << 24), ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
                                 ((p[2] >> 16) & 0xFFu) | (p[3] << 8)};
        std::memcpy(pDst + i * 3, out, 12);
    }
    for (; i < pPixels; ++i)
        std::memcpy(pDst + i * 3, pSrc + i * 4, 3);
}

class X11ScreenCapture final : public ScreenCapture {
public:
    X11ScreenCapture()
    {
        int screenNumber = 0;
        mConn = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(mConn)) {
            qCWarning(lcCapture, "cannot connect to the X server");
            xcb_disconnect(mConn);
            mConn = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(mConn));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        mScreen = it.data;
        mPixelsAre32Bit = rootIs32BitLsb();
    }

    ~X11ScreenCapture() override
    {
        close();
        if (mConn)
            xcb_disconnect(mConn);
    }

    std::vector<MonitorInfo> enumerateMonitors() override
    {
        std::vector<MonitorInfo> list;
        if (!usable())
            return list;
        xcb_randr_get_monitors_reply_t *reply =
            xcb_randr_get_monitors_reply(mConn, xcb_randr_get_monitors(mConn, mScreen->root, 1), nullptr);
        if (!reply) {
            // No RandR 1.5: the root window is the one monitor.
            MonitorInfo info;
            info.name = L"default";
            info.logicalWidth = info.physicalWidth = mScreen->width_in_pixels;
            info.logicalHeight = info.physicalHeight = mScreen->height_in_pixels;
            list.push_back(info);
            return list;
        }
        // The primary monitor first, then the server's order: the order of
        // QGuiApplication::screens() on X11.
        std::vector<MonitorInfo> others;
        for (xcb_randr_monitor_info_iterator_t it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem;
             xcb_randr_monitor_info_next(&it)) {
            MonitorInfo info;
            xcb_get_atom_name_reply_t *name =
                xcb_get_atom_name_reply(mConn, xcb_get_atom_name(mConn, it.data->name), nullptr);
            if (name) {
                info.name = fromUtf8(xcb_get_atom_name_name(name), xcb_get_atom_name_name_length(name));
                std::free(name);
            }
            info.x = it.data->x;
            info.y = it.data->y;
            info.logicalWidth = info.physicalWidth = it.data->width;
            info.logicalHeight = info.physicalHeight = it.data->height;
            (it.data->primary && list.empty() ? list : others).push_back(info);
        }
        std::free(reply);
        list.insert(list.end(), others.begin(), others.end());
        return list;
    }

    // Polled often (the facade asks on every isStreaming()): one round trip,
    // no monitor names.
    int monitorCount() override
    {
        if (!usable())
            return 0;
        xcb_randr_get_monitors_reply_t *reply =
            xcb_randr_get_monitors_reply(mConn, xcb_randr_get_monitors(mConn, mScreen->root, 1), nullptr);
        if (!reply)
            return 1;
        const int count = xcb_randr_get_monitors_monitors_length(reply);
        std::free(reply);
        return count;
    }

    bool open(const std::wstring &pName) override
    {
        close();
        mName = pName;
        MonitorInfo info;
        if (!readGeometry(info))
            return false;
        mUseShm = false;
        if (usable()) {
            xcb_shm_query_version_reply_t *shm =
                xcb_shm_query_version_reply(mConn, xcb_shm_query_version(mConn), nullptr);
            mUseShm = shm != nullptr;
            std::free(shm);
        }
        return true;
    }

    bool readGeometry(MonitorInfo &pInfo) override
    {
        for (const MonitorInfo &info : enumerateMonitors()) {
            if (info.name == mName) {
                pInfo = info;
                mX = info.x;
                mY = info.y;
                return true;
            }
        }
        return false;
    }

    bool prepare(int pWidth, int pHeight) override
    {
        releaseShm();
        mWidth = pWidth;
        mHeight = pHeight;
        if (!usable() || pWidth <= 0 || pHeight <= 0)
            return false;
        if (!mPixelsAre32Bit) {
            qCWarning(lcCapture, "the root window is not 32 bits per pixel, cannot capture");
            return false;
        }
        if (mUseShm && !attachShm(static_cast<size_t>(pWidth) * pHeight * 4)) {
            qCWarning(lcCapture, "MIT-SHM not usable, falling back to GetImage");
            mUseShm = false;
        }
        return true;
    }

    bool capture(uint8_t *pBgr) override
    {
        if (!usable() || mWidth <= 0 || mHeight <= 0 || !mPixelsAre32Bit)
            return false;
        const size_t pixels = static_cast<size_t>(mWidth) * mHeight;
        if (mShmAddress) {
            xcb_shm_get_image_reply_t *reply = xcb_shm_get_image_reply(
                mConn,
                xcb_shm_get_image(mConn, mScreen->root, static_cast<int16_t>(mX), static_cast<int16_t>(mY),
                                  static_cast<uint16_t>(mWidth), static_cast<uint16_t>(mHeight), ~0u,
                                  XCB_IMAGE_FORMAT_Z_PIXMAP, mShmSeg, 0),
                nullptr);
            if (!reply)
                return false;
            std::free(reply);
            bgraToBgr(static_cast<const uint8_t *>(mShmAddress), pBgr, pixels);
            return true;
        }
        xcb_get_image_reply_t *reply = xcb_get_image_reply(
            mConn,
            xcb_get_image(mConn, XCB_IMAGE_FORMAT_Z_PIXMAP, mScreen->root, static_cast<int16_t>(mX),
                          static_cast<int16_t>(mY), static_cast<uint16_t>(mWidth), static_cast<uint16_t>(mHeight), ~0u),
            nullptr);
        if (!reply)
            return false;
        const bool complete = static_cast<size_t>(xcb_get_image_data_length(reply)) >= pixels * 4;
        if (complete)
            bgraToBgr(xcb_get_image_data(reply), pBgr, pixels);
        std::free(reply);
        return complete;
    }

    void close() override
    {
        releaseShm();
        mWidth = mHeight = 0;
    }

private:
    bool usable() const { return mConn && mScreen && !xcb_connection_has_error(mConn); }

    bool rootIs32BitLsb() const
    {
        const xcb_setup_t *setup = xcb_get_setup(mConn);
        if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
            return false;
        for (xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
            if (it.data->depth == mScreen->root_depth)
                return it.data->bits_per_pixel == 32;
        }
        return false;
    }

    bool attachShm(size_t pBytes)
    {
        const int id = shmget(IPC_PRIVATE, pBytes, IPC_CREAT | 0600);
        if (id < 0)
            return false;
        void *address = shmat(id, nullptr, 0);
        if (address == reinterpret_cast<void *>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return false;
        }
        const xcb_shm_seg_t seg = xcb_generate_id(mConn);
        xcb_generic_error_t *error = xcb_request_check(mConn, xcb_shm_attach_checked(mConn, seg, id, 0));
        // Once both sides are attached the segment can be marked for removal:
        // it then disappears with the last detach, even after a crash.
        shmctl(id, IPC_RMID, nullptr);
        if (error) {
            std::free(error);
            shmdt(address);
            return false;
        }
        mShmSeg = seg;
        mShmAddress = address;
        return true;
    }

    void releaseShm()
    {
        if (!mShmAddress)
            return;
        if (usable())
            xcb_request_check(mConn, xcb_shm_detach_checked(mConn, mShmSeg));
        shmdt(mShmAddress);
        mShmAddress = nullptr;
    }

    xcb_connection_t *mConn = nullptr;
    xcb_screen_t *mScreen = nullptr;
    bool mPixelsAre32Bit = false;
    bool mUseShm = false;
    std::wstring mName;
    int mX = 0, mY = 0, mWidth = 0, mHeight = 0;
    xcb_shm_seg_t mShmSeg = 0;
    void *mShmAddress = nullptr;
};

} // namespace

std::unique_ptr<ScreenCapture> createSystemScreenCapture()
{
    return std::make_unique<X11ScreenCapture>();
}

} // namespace glimra::platform
