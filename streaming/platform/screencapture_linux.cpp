// SPDX-License-Identifier: GPL-2.0-or-later
// X11 capture: RandR monitors, MIT-SHM GetImage of the monitor's rectangle
// of the root window, plain GetImage when shared memory is not available
// (remote display, extension missing). DAMAGE on the root window tells when
// nothing was drawn, so a still screen needs no capture at all.
#include "platform/backendchoice_linux.h"
#include "platform/platformlog_linux.h"
#include "platform/screencapture.h"

#include <QLoggingCategory>

#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace glimra::platform {
namespace {

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
void bgraToBgrPortable(const uint8_t *pSrc, uint8_t *pDst, size_t pPixels)
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

#if defined(__x86_64__) || defined(__i386__)
// The same with one byte shuffle per 4 pixels, about ten times faster. Each
// 16-byte store writes 4 bytes beyond its 12, which the next store
// overwrites; the last pixels go the portable way so nothing is written past
// the end.
__attribute__((target("ssse3"))) void bgraToBgrSsse3(const uint8_t *pSrc, uint8_t *pDst, size_t pPixels)
{
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    size_t i = 0;
    for (; i + 6 <= pPixels; i += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pSrc + i * 4));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(pDst + i * 3), _mm_shuffle_epi8(pixels, shuffle));
    }
    bgraToBgrPortable(pSrc + i * 4, pDst + i * 3, pPixels - i);
}
#endif

void bgraToBgr(const uint8_t *pSrc, uint8_t *pDst, size_t pPixels)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        bgraToBgrSsse3(pSrc, pDst, pPixels);
        return;
    }
#endif
    bgraToBgrPortable(pSrc, pDst, pPixels);
}

class X11ScreenCapture final : public ScreenCapture {
public:
    X11ScreenCapture()
    {
        int screenNumber = 0;
        mConn = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(mConn)) {
            qCWarning(lcPlatform, "cannot connect to the X server");
            xcb_disconnect(mConn);
            mConn = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(mConn));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        mScreen = it.data;
        // Without RandR the one monitor is the screen, named as Qt names it:
        // the display name with its screen number.
        std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
        const size_t colon = display.rfind(':');
        if (colon == std::string::npos || display.find('.', colon) == std::string::npos)
            display += "." + std::to_string(screenNumber);
        mScreenName = fromUtf8(display.data(), int(display.size()));
        mPixelsAre32Bit = rootIs32BitLsb();
        const xcb_query_extension_reply_t *randr = xcb_get_extension_data(mConn, &xcb_randr_id);
        mHasRandr = randr && randr->present;
    }

    ~X11ScreenCapture() override
    {
        close();
        if (mConn)
            xcb_disconnect(mConn);
        if (mWakeFd >= 0)
            ::close(mWakeFd);
    }

    std::vector<MonitorInfo> enumerateMonitors() override
    {
        std::vector<MonitorInfo> list;
        if (!usable())
            return list;
        xcb_randr_get_monitors_reply_t *reply =
            mHasRandr ? xcb_randr_get_monitors_reply(mConn, xcb_randr_get_monitors(mConn, mScreen->root, 1), nullptr)
                      : nullptr;
        if (!reply) {
            // No RandR 1.5: the root window is the one monitor.
            MonitorInfo info;
            info.name = mScreenName;
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
            mHasRandr ? xcb_randr_get_monitors_reply(mConn, xcb_randr_get_monitors(mConn, mScreen->root, 1), nullptr)
                      : nullptr;
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
        // A request of a missing extension would break the connection: ask
        // whether it exists first.
        const xcb_query_extension_reply_t *extension = usable() ? xcb_get_extension_data(mConn, &xcb_shm_id) : nullptr;
        if (extension && extension->present) {
            xcb_shm_query_version_reply_t *shm =
                xcb_shm_query_version_reply(mConn, xcb_shm_query_version(mConn), nullptr);
            mUseShm = shm != nullptr;
            std::free(shm);
        }
        if (!mUseShm)
            qCInfo(lcPlatform, "no MIT-SHM on this display: capturing with GetImage");
        watchDamage();
        return true;
    }

    bool mayHaveChanged() override
    {
        if (!mDamage || !usable())
            return true;
        // A round trip first: every event the server raised before now has
        // then arrived, so a change drawn before this call is seen by it.
        std::free(xcb_get_input_focus_reply(mConn, xcb_get_input_focus(mConn), nullptr));
        takeDamageEvents();
        mCheckedSinceCapture = true;
        if (!mDamaged)
            return false;
        // Emptied before the capture that follows: whatever is drawn after
        // this request raises a new event, whatever before it is in the capture.
        xcb_damage_subtract(mConn, mDamage, XCB_NONE, mDamageRegion);
        xcb_flush(mConn);
        mDamaged = false;
        takeDamagedRows();
        return true;
    }

    bool canWaitForChange() const override { return mDamage != 0 && mWakeFd >= 0; }

    bool waitForChange(int pTimeoutMs) override
    {
        if (mWakeFd < 0)
            return false;
        // Without DAMAGE (or with the connection gone) this only waits.
        const bool watching = mDamage != 0 && usable();
        if (watching)
            takeDamageEvents();
        if (!watching || !mDamaged) {
            pollfd fds[2] = {{mWakeFd, POLLIN, 0}, {watching ? xcb_get_file_descriptor(mConn) : -1, POLLIN, 0}};
            if (::poll(fds, 2, pTimeoutMs) > 0 && (fds[0].revents & POLLIN)) {
                uint64_t count = 0;
                (void)!::read(mWakeFd, &count, sizeof count);
            }
            if (watching)
                takeDamageEvents();
        }
        return watching && mDamaged;
    }

    void wakeWait() override
    {
        const uint64_t one = 1;
        if (mWakeFd >= 0)
            (void)!::write(mWakeFd, &one, sizeof one);
    }

    bool readGeometry(MonitorInfo &pInfo) override
    {
        for (const MonitorInfo &info : enumerateMonitors()) {
            if (info.name == mName) {
                pInfo = info;
                if (info.x != mX || info.y != mY)
                    mMirrorValid = false;
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
        mMirrorValid = false;
        mWidth = pWidth;
        mHeight = pHeight;
        if (!usable() || pWidth <= 0 || pHeight <= 0)
            return false;
        if (!mPixelsAre32Bit) {
            qCWarning(lcPlatform, "the root window is not 32 bits per pixel, cannot capture");
            return false;
        }
        if (mUseShm && !attachShm(static_cast<size_t>(pWidth) * pHeight * 4)) {
            qCWarning(lcPlatform, "MIT-SHM not usable, falling back to GetImage");
            mUseShm = false;
        }
        return true;
    }

    // The 3-byte form of the same picture.
    bool capture(uint8_t *pBgr) override
    {
        int stride = 0;
        const uint8_t *pixels = captureBgrx(stride);
        if (!pixels)
            return false;
        bgraToBgr(pixels, pBgr, static_cast<size_t>(mWidth) * mHeight);
        return true;
    }

    bool hasBgrx() const override { return mPixelsAre32Bit; }

    const uint8_t *captureBgrx(int &pStride) override
    {
        pStride = mWidth * 4;
        std::free(mImageReply);
        mImageReply = nullptr;
        if (!usable() || mWidth <= 0 || mHeight <= 0 || !mPixelsAre32Bit)
            return nullptr;
        const size_t pixels = static_cast<size_t>(mWidth) * mHeight;
        if (mShmAddress) {
            // The segment mirrors the monitor between captures: once it holds
            // a whole picture, only the rows drawn since are fetched again.
            std::vector<std::pair<int, int>> bands;
            if (mMirrorValid && mCheckedSinceCapture && !mRowsLost)
                bands.swap(mDamagedRows);
            else
                bands.emplace_back(0, mHeight);
            mCheckedSinceCapture = false;
            mRowsLost = false;
            mDamagedRows.clear();
            mMirrorValid = false;
            std::vector<xcb_shm_get_image_cookie_t> cookies;
            for (const auto &[top, bottom] : bands) {
                // Whole rows land at the rows' own place: the request's
                // width is the monitor's, so its stride is the segment's.
                cookies.push_back(xcb_shm_get_image(
                    mConn, mScreen->root, static_cast<int16_t>(mX), static_cast<int16_t>(mY + top),
                    static_cast<uint16_t>(mWidth), static_cast<uint16_t>(bottom - top), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                    mShmSeg, static_cast<uint32_t>(top) * static_cast<uint32_t>(pStride)));
            }
            bool complete = true;
            for (xcb_shm_get_image_cookie_t cookie : cookies) {
                xcb_shm_get_image_reply_t *reply = xcb_shm_get_image_reply(mConn, cookie, nullptr);
                complete = complete && reply;
                std::free(reply);
            }
            if (!complete)
                return nullptr;
            mMirrorValid = true;
            return static_cast<const uint8_t *>(mShmAddress);
        }
        mImageReply = xcb_get_image_reply(
            mConn,
            xcb_get_image(mConn, XCB_IMAGE_FORMAT_Z_PIXMAP, mScreen->root, static_cast<int16_t>(mX),
                          static_cast<int16_t>(mY), static_cast<uint16_t>(mWidth), static_cast<uint16_t>(mHeight), ~0u),
            nullptr);
        if (!mImageReply || static_cast<size_t>(xcb_get_image_data_length(mImageReply)) < pixels * 4)
            return nullptr;
        return xcb_get_image_data(mImageReply);
    }

    void close() override
    {
        std::free(mImageReply);
        mImageReply = nullptr;
        if (mDamage && usable()) {
            xcb_damage_destroy(mConn, mDamage);
            if (mDamageRegion)
                xcb_xfixes_destroy_region(mConn, mDamageRegion);
            xcb_flush(mConn);
        }
        mDamage = 0;
        mDamageRegion = XCB_NONE;
        mMirrorValid = false;
        mCheckedSinceCapture = false;
        mDamagedRows.clear();
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

    // Reads the events that have come (the queue and the socket) without waiting.
    void takeDamageEvents()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(mConn)) {
            if ((event->response_type & 0x7F) == mDamageEvent + XCB_DAMAGE_NOTIFY)
                mDamaged = true;
            std::free(event);
        }
    }

    void watchDamage()
    {
        if (mDamage || !usable())
            return;
        const xcb_query_extension_reply_t *extension = xcb_get_extension_data(mConn, &xcb_damage_id);
        if (!extension || !extension->present)
            return;
        xcb_damage_query_version_reply_t *version =
            xcb_damage_query_version_reply(mConn, xcb_damage_query_version(mConn, 1, 1), nullptr);
        if (!version)
            return;
        std::free(version);
        const xcb_damage_damage_t damage = xcb_generate_id(mConn);
        xcb_generic_error_t *error = xcb_request_check(
            mConn, xcb_damage_create_checked(mConn, damage, mScreen->root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY));
        if (error) {
            std::free(error);
            return;
        }
        mDamage = damage;
        mDamageEvent = extension->first_event;
        mDamaged = true;
        // XFIXES (which DAMAGE needs anyway) hands over the damaged area, so
        // a capture can fetch only the rows drawn into.
        const xcb_query_extension_reply_t *xfixes = xcb_get_extension_data(mConn, &xcb_xfixes_id);
        if (!xfixes || !xfixes->present)
            return;
        xcb_xfixes_query_version_reply_t *xfixesVersion =
            xcb_xfixes_query_version_reply(mConn, xcb_xfixes_query_version(mConn, 2, 0), nullptr);
        if (!xfixesVersion)
            return;
        std::free(xfixesVersion);
        const xcb_xfixes_region_t region = xcb_generate_id(mConn);
        error = xcb_request_check(mConn, xcb_xfixes_create_region_checked(mConn, region, 0, nullptr));
        if (error) {
            std::free(error);
            return;
        }
        mDamageRegion = region;
    }

    // Adds the monitor's rows inside the damage just subtracted to the
    // merged [top, bottom) bands; without XFIXES, or when the region cannot
    // be read, the rows are lost and the next capture takes everything.
    void takeDamagedRows()
    {
        xcb_xfixes_fetch_region_reply_t *reply =
            mDamageRegion ? xcb_xfixes_fetch_region_reply(mConn, xcb_xfixes_fetch_region(mConn, mDamageRegion), nullptr)
                          : nullptr;
        if (!reply) {
            mRowsLost = true;
            return;
        }
        const xcb_rectangle_t *rects = xcb_xfixes_fetch_region_rectangles(reply);
        const int count = xcb_xfixes_fetch_region_rectangles_length(reply);
        for (int i = 0; i < count; ++i) {
            const int left = std::max<int>(rects[i].x, mX),
                      right = std::min<int>(rects[i].x + rects[i].width, mX + mWidth);
            const int top = std::max<int>(rects[i].y - mY, 0);
            const int bottom = std::min<int>(rects[i].y + rects[i].height - mY, mHeight);
            if (left < right && top < bottom)
                mDamagedRows.emplace_back(top, bottom);
        }
        std::free(reply);
        // Sorted and merged; bands a few rows apart become one request.
        std::sort(mDamagedRows.begin(), mDamagedRows.end());
        std::vector<std::pair<int, int>> merged;
        for (const auto &band : mDamagedRows) {
            if (!merged.empty() && band.first <= merged.back().second + MergeGapRows)
                merged.back().second = std::max(merged.back().second, band.second);
            else
                merged.push_back(band);
        }
        mDamagedRows.swap(merged);
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
    bool mHasRandr = false;
    bool mUseShm = false;
    std::wstring mName;
    std::wstring mScreenName;
    int mX = 0, mY = 0, mWidth = 0, mHeight = 0;
    xcb_shm_seg_t mShmSeg = 0;
    void *mShmAddress = nullptr;
    xcb_get_image_reply_t *mImageReply = nullptr; // the pixels captureBgrx() handed out last
    xcb_damage_damage_t mDamage = 0;              // 0 without the DAMAGE extension
    uint8_t mDamageEvent = 0;
    bool mDamaged = true;
    xcb_xfixes_region_t mDamageRegion = XCB_NONE; // receives what each subtract takes
    // Rows drawn into since the last capture, merged. They are all that
    // changed when mayHaveChanged() looked since the capture (every damage
    // then went through the region) and no region was lost.
    std::vector<std::pair<int, int>> mDamagedRows;
    bool mCheckedSinceCapture = false;
    bool mRowsLost = false;
    bool mMirrorValid = false; // the segment holds the monitor as of the last capture
    static constexpr int MergeGapRows = 16;
    // Written by wakeWait() to end a waitForChange() early.
    int mWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
};

} // namespace

std::unique_ptr<ScreenCapture> createX11ScreenCapture()
{
    return std::make_unique<X11ScreenCapture>();
}

} // namespace glimra::platform
