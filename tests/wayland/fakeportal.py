#!/usr/bin/python3
# SPDX-License-Identifier: GPL-2.0-or-later
"""A portal backend for tests: org.freedesktop.impl.portal.ScreenCast and
RemoteDesktop without a compositor. Start launches the fake PipeWire source
and hands out its node; every call is written to FAKE_PORTAL_LOG as one JSON
line. Consent is given unless the file FAKE_PORTAL_DIR/refuse exists, and
waits while FAKE_PORTAL_DIR/hold exists (a user who has not decided yet); the
source's arguments come from FAKE_PORTAL_DIR/source-args when it exists."""
import json
import os
import subprocess
import sys
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

BUS_NAME = "org.freedesktop.impl.portal.desktop.fake"
OBJECT_PATH = "/org/freedesktop/portal/desktop"
SCREEN_CAST = "org.freedesktop.impl.portal.ScreenCast"
REMOTE_DESKTOP = "org.freedesktop.impl.portal.RemoteDesktop"
PROPERTIES = "org.freedesktop.DBus.Properties"

KEYBOARD, POINTER, TOUCHSCREEN = 1, 2, 4
MONITOR = 1
CURSOR_HIDDEN, CURSOR_EMBEDDED, CURSOR_METADATA = 1, 2, 4
RESTORE_VENDOR = "fake"

control_dir = os.environ.get("FAKE_PORTAL_DIR", "/nonexistent")
log_file = open(os.environ.get("FAKE_PORTAL_LOG", "/dev/stderr"), "a", buffering=1)
source_program = os.environ["FAKE_PORTAL_SOURCE"]


def plain(value):
    """D-Bus values as JSON values."""
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Double, float)):
        return float(value)
    if isinstance(value, (int, dbus.Byte)):
        return int(value)
    return str(value)


def log(call, **fields):
    fields["call"] = call
    fields["time"] = time.monotonic()
    log_file.write(json.dumps(fields) + "\n")


class Session(dbus.service.Object):
    def __init__(self, bus, path, portal):
        super().__init__(bus, path)
        self.path = path
        self.portal = portal
        self.devices = 0
        self.cursor_mode = CURSOR_HIDDEN
        self.restored = False
        self.persist_mode = 0
        self.source = None
        self.node = None
        self.started = False

    @dbus.service.method("org.freedesktop.impl.portal.Session", in_signature="", out_signature="")
    def Close(self):
        log("Session.Close", session=self.path)
        self.stop_source()
        self.portal.sessions.pop(self.path, None)
        self.remove_from_connection()

    @dbus.service.signal("org.freedesktop.impl.portal.Session", signature="")
    def Closed(self):
        pass

    def start_source(self):
        args = [source_program]
        path = os.path.join(control_dir, "source-args")
        if os.path.exists(path):
            with open(path) as f:
                args += f.read().split()
        if self.cursor_mode != CURSOR_METADATA:
            args += ["--cursor", "none"]
        self.source = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
        line = self.source.stdout.readline().split()
        if len(line) != 2 or line[0] != "node":
            raise dbus.exceptions.DBusException("the fake source did not start")
        self.node = int(line[1])
        log("source", session=self.path, pid=self.source.pid, node=self.node, args=args[1:])

    def stop_source(self):
        if self.source:
            self.source.terminate()
            self.source.wait()
            self.source = None


class RemoteDesktop(dbus.service.Object):
    @dbus.service.method(REMOTE_DESKTOP, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        log("RemoteDesktop.CreateSession", session=str(session_handle), app_id=str(app_id))
        self.sessions[str(session_handle)] = Session(self.bus, session_handle, self)
        return 0, {"session_id": dbus.String(str(session_handle))}

    @dbus.service.method(REMOTE_DESKTOP, in_signature="oosa{sv}", out_signature="ua{sv}")
    def SelectDevices(self, handle, session_handle, app_id, options):
        session = self.sessions[str(session_handle)]
        session.devices = int(options.get("types", KEYBOARD | POINTER))
        session.persist_mode = int(options.get("persist_mode", 0))
        if "restore_data" in options:
            session.restored = self.restorable(options["restore_data"])
        log("RemoteDesktop.SelectDevices", session=str(session_handle), options=plain(options))
        return 0, {}

    @dbus.service.method(REMOTE_DESKTOP, in_signature="oossa{sv}", out_signature="ua{sv}",
                         async_callbacks=("reply", "error"))
    def Start(self, handle, session_handle, app_id, parent_window, options, reply, error):
        self.portal_start(REMOTE_DESKTOP, handle, session_handle, reply)

    def notify(name, signature):
        # dbus-python takes the member's arguments from the function's own.
        names = ", ".join("a%d" % i for i in range(len(dbus.Signature(signature))))
        scope = {"log": log, "plain": plain}
        exec("def %s(self, session_handle, options, %s):\n"
             "    log('RemoteDesktop.%s', session=str(session_handle), args=plain([%s]))" % (name, names, name, names),
             scope)
        return dbus.service.method(REMOTE_DESKTOP, in_signature="oa{sv}" + signature, out_signature="")(scope[name])

    NotifyPointerMotion = notify("NotifyPointerMotion", "dd")
    NotifyPointerMotionAbsolute = notify("NotifyPointerMotionAbsolute", "udd")
    NotifyPointerButton = notify("NotifyPointerButton", "iu")
    NotifyPointerAxis = notify("NotifyPointerAxis", "dd")
    NotifyPointerAxisDiscrete = notify("NotifyPointerAxisDiscrete", "ui")
    NotifyKeyboardKeycode = notify("NotifyKeyboardKeycode", "iu")
    NotifyKeyboardKeysym = notify("NotifyKeyboardKeysym", "iu")
    NotifyTouchDown = notify("NotifyTouchDown", "uudd")
    NotifyTouchMotion = notify("NotifyTouchMotion", "uudd")
    NotifyTouchUp = notify("NotifyTouchUp", "u")


class ScreenCast(dbus.service.Object):
    @dbus.service.method(SCREEN_CAST, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        log("ScreenCast.CreateSession", session=str(session_handle))
        self.sessions[str(session_handle)] = Session(self.bus, session_handle, self)
        return 0, {"session_id": dbus.String(str(session_handle))}

    @dbus.service.method(SCREEN_CAST, in_signature="oosa{sv}", out_signature="ua{sv}")
    def SelectSources(self, handle, session_handle, app_id, options):
        session = self.sessions[str(session_handle)]
        session.cursor_mode = int(options.get("cursor_mode", CURSOR_HIDDEN))
        if "persist_mode" in options:
            session.persist_mode = int(options["persist_mode"])
        if "restore_data" in options:
            session.restored = self.restorable(options["restore_data"])
        log("ScreenCast.SelectSources", session=str(session_handle), options=plain(options))
        return 0, {}

    @dbus.service.method(SCREEN_CAST, in_signature="oossa{sv}", out_signature="ua{sv}",
                         async_callbacks=("reply", "error"))
    def Start(self, handle, session_handle, app_id, parent_window, options, reply, error):
        self.portal_start(SCREEN_CAST, handle, session_handle, reply)


class Portal(RemoteDesktop, ScreenCast):
    def __init__(self, bus):
        super().__init__(bus, OBJECT_PATH)
        self.bus = bus
        self.sessions = {}

    def restorable(self, data):
        vendor, version = str(data[0]), int(data[1])
        return vendor == RESTORE_VENDOR and version == 1

    def portal_start(self, interface, handle, session_handle, reply):
        session = self.sessions.get(str(session_handle))
        name = interface.rsplit(".", 1)[1] + ".Start"
        dialog = not session.restored
        if dialog and os.path.exists(os.path.join(control_dir, "hold")):
            # The user has not decided yet: the answer waits for the file to go.
            log(name, session=str(session_handle), dialog=True, held=True)
            def decide():
                if os.path.exists(os.path.join(control_dir, "hold")):
                    return True
                if str(session_handle) not in self.sessions:
                    log(name + ".late", session=str(session_handle))
                    reply(dbus.UInt32(2), dbus.Dictionary({}, signature="sv"))
                else:
                    reply(*self.decided(interface, session))
                return False
            GLib.timeout_add(50, decide)
            return
        log(name, session=str(session_handle), dialog=dialog,
            consent=not (dialog and os.path.exists(os.path.join(control_dir, "refuse"))))
        reply(*self.decided(interface, session))

    def decided(self, interface, session):
        if not session.restored and os.path.exists(os.path.join(control_dir, "refuse")):
            return dbus.UInt32(1), dbus.Dictionary({}, signature="sv")
        session.start_source()
        session.started = True
        stream = dbus.Struct((dbus.UInt32(session.node), dbus.Dictionary({
            "id": dbus.String("0"),
            "position": dbus.Struct((dbus.Int32(0), dbus.Int32(0)), signature="ii"),
            "size": dbus.Struct((dbus.Int32(1920), dbus.Int32(1080)), signature="ii"),
            "source_type": dbus.UInt32(MONITOR),
        }, signature="sv")), signature="ua{sv}")
        results = {"streams": dbus.Array([stream], signature="(ua{sv})")}
        if interface == REMOTE_DESKTOP:
            results["devices"] = dbus.UInt32(session.devices)
        if session.persist_mode:
            results["persist_mode"] = dbus.UInt32(session.persist_mode)
            results["restore_data"] = dbus.Struct(
                (dbus.String(RESTORE_VENDOR), dbus.UInt32(1), dbus.String("monitor-0", variant_level=1)),
                signature="suv")
        return dbus.UInt32(0), dbus.Dictionary(results, signature="sv")

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface == SCREEN_CAST:
            return {"AvailableSourceTypes": dbus.UInt32(MONITOR),
                    "AvailableCursorModes": dbus.UInt32(CURSOR_HIDDEN | CURSOR_METADATA),
                    "version": dbus.UInt32(4)}
        if interface == REMOTE_DESKTOP:
            return {"AvailableDeviceTypes": dbus.UInt32(KEYBOARD | POINTER | TOUCHSCREEN), "version": dbus.UInt32(2)}
        return {}


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus)
    name = dbus.service.BusName(BUS_NAME, bus)
    log("ready")
    loop = GLib.MainLoop()
    try:
        loop.run()
    finally:
        for session in list(portal.sessions.values()):
            session.stop_source()
        del name


if __name__ == "__main__":
    sys.exit(main())
