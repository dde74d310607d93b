// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Adds and removes RandR 1.5 monitors on the test's X server, so one Xvfb
// screen can act as several monitors. SetMonitor is built by hand because
// libxcb 1.15's xcb_randr_set_monitor encodes a wrong request length.

#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdlib>
#include <cstring>
#include <sys/uio.h>

class RandrMonitor {
public:
    static bool set(const char *pName, int pX, int pY, int pWidth, int pHeight)
    {
        RandrMonitor r;
        xcb_randr_monitor_info_t info{};
        info.name = r.atom(pName);
        info.x = int16_t(pX);
        info.y = int16_t(pY);
        info.width = uint16_t(pWidth);
        info.height = uint16_t(pHeight);
        info.width_in_millimeters = uint32_t(pWidth / 4);
        info.height_in_millimeters = uint32_t(pHeight / 4);
        struct {
            uint8_t major, minor;
            uint16_t length;
            xcb_window_t window;
        } head{0, 0, 0, r.mRoot};
        iovec parts[4] = {{nullptr, 0}, {nullptr, 0}, {&head, sizeof head}, {&info, sizeof info}};
        xcb_protocol_request_t request{2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
        const xcb_void_cookie_t cookie{xcb_send_request(r.mConn, XCB_REQUEST_CHECKED, parts + 2, &request)};
        xcb_generic_error_t *error = xcb_request_check(r.mConn, cookie);
        const bool ok = !error && !xcb_connection_has_error(r.mConn);
        std::free(error);
        return ok;
    }

    static void remove(const char *pName)
    {
        RandrMonitor r;
        std::free(xcb_request_check(r.mConn, xcb_randr_delete_monitor_checked(r.mConn, r.mRoot, r.atom(pName))));
    }

private:
    RandrMonitor()
    {
        mConn = xcb_connect(nullptr, nullptr);
        mRoot = xcb_setup_roots_iterator(xcb_get_setup(mConn)).data->root;
        std::free(xcb_randr_query_version_reply(mConn, xcb_randr_query_version(mConn, 1, 5), nullptr));
    }
    ~RandrMonitor() { xcb_disconnect(mConn); }

    xcb_atom_t atom(const char *pName)
    {
        xcb_intern_atom_reply_t *reply =
            xcb_intern_atom_reply(mConn, xcb_intern_atom(mConn, 0, uint16_t(std::strlen(pName)), pName), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    xcb_connection_t *mConn;
    xcb_window_t mRoot;
};
