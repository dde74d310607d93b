# SPDX-License-Identifier: GPL-2.0-or-later
"""The room emulator and the real client program for benchmarks, driven the
way a user drives them: xdotool keys and clicks on an X server."""
import json, os, subprocess, time


def mono_us():
    """CLOCK_MONOTONIC in microseconds, the clock of the emulator's "mono_us"."""
    return time.monotonic_ns() // 1000


class Emulator:
    def __init__(self, bindir, work, extra=()):
        os.makedirs(work, exist_ok=True)
        self.events_path = os.path.join(work, "events.jsonl")
        self.proc = subprocess.Popen(
            [os.path.join(bindir, "room-emulator"), "--bind", "127.0.0.1", "--tcp-port", "0", "--udp-port", "0",
             "--stream-port", "0", "--no-discovery", "--room", "VLM42:Salle 12:3:10:2:bench",
             "--events", self.events_path, *extra], stdin=subprocess.PIPE)
        self.seen = 0
        self.ready = self.wait("ready", 10)

    def events(self):
        try:
            with open(self.events_path) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        out = []
        for line in lines:
            try:
                out.append(json.loads(line))
            except ValueError:
                break  # a line still being written
        return out

    def wait(self, name, timeout, pred=lambda e: True):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            evs = self.events()
            for i in range(self.seen, len(evs)):
                if evs[i]["event"] == name and pred(evs[i]):
                    self.seen = i + 1
                    return evs[i]
            time.sleep(0.005)
        raise SystemExit(f"bench: no {name} event")

    def write_network_file(self, folder):
        with open(os.path.join(folder, "network.json"), "w") as f:
            json.dump({"servers": [f"127.0.0.1:{self.ready['tcp_port']}"]}, f)

    def close(self):
        self.proc.stdin.close()
        self.proc.terminate()
        self.proc.wait(5)


class Client:
    """The program in its own folders, with the network file beside it."""

    def __init__(self, bindir, work, logging_rules="velmorant.session.debug=true"):
        env = dict(os.environ, QT_FONT_DPI="96", QT_LOGGING_RULES=logging_rules)
        for d in ("data", "config", "tmp", "docs"):
            os.makedirs(os.path.join(work, d), exist_ok=True)
        env.update(XDG_DATA_HOME=os.path.join(work, "data"), XDG_CONFIG_HOME=os.path.join(work, "config"),
                   TMPDIR=os.path.join(work, "tmp"))
        self.log_path = os.path.join(work, "client.log")
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([os.path.join(bindir, "VelmorantClient")], cwd=work, env=env,
                                     stdout=self.log, stderr=self.log)

    def text(self):
        with open(self.log_path) as f:
            return f.read()

    def wait_log(self, needle, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if needle in self.text():
                return
            time.sleep(0.01)
        raise SystemExit(f"bench: the client never logged {needle!r}")

    def window(self, w, h, timeout=10):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                                 capture_output=True, text=True).stdout.split()
            for i in ids:
                g = subprocess.run(["xdotool", "getwindowgeometry", "--shell", i],
                                   capture_output=True, text=True).stdout
                if f"WIDTH={w}\n" in g and f"HEIGHT={h}\n" in g:
                    return i
            time.sleep(0.05)
        raise SystemExit(f"bench: no {w}x{h} window")

    def type_code(self, code="vlm42"):
        """Types the room code once the splash is over; returns when the room shows."""
        window = self.window(500, 252)
        time.sleep(1.8)
        subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True)
        subprocess.run(["xdotool", "type", "--delay", "40", code], check=True)
        self.wait_log('state=2 room="Salle 12"', 10)

    def rss_kib(self):
        with open(f"/proc/{self.proc.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()


def click(window, x, y):
    subprocess.run(["xdotool", "mousemove", "--window", window, str(x), str(y), "click", "1"], check=True)


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)
