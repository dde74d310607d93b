#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# join-bench.sh [BUILD_DIR] [RUNS]
#
# Joins the room emulator RUNS times (default 5) with the real program on a
# 1920x1080 Xvfb, driven by xdotool, and prints medians:
#   join_greeting  Return key -> greeting at the emulator; peer: a bare socket
#                  that connects and sends the greeting (the floor)
#   first_frame    stream button click -> first decoded frame at the emulator
#   gui_wait_*     longest time the GUI thread spent inside a library call
#                  (pause/restart/stop) while the receiver reads slowly
# Clocks: CLOCK_MONOTONIC on both sides (the emulator's "mono_us").
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}

if [ -z "${JOIN_BENCH_DISPLAY:-}" ]; then
  exec "$root/scripts/with-xvfb.sh" --screen 1920x1080x24 -- \
    env JOIN_BENCH_DISPLAY=1 "$0" "$build" "$runs"
fi
for tool in VelmorantClient room-emulator; do
  [ -x "$build/bin/$tool" ] || { echo "join-bench: $build/bin/$tool is missing; build it first" >&2; exit 1; }
done

exec python3 - "$build/bin" "$runs" <<'PY'
import json, os, re, socket, statistics, struct, subprocess, sys, tempfile, time

bindir, runs = sys.argv[1], int(sys.argv[2])

def mono_us():
    return time.monotonic_ns() // 1000

class Emulator:
    def __init__(self, work, extra=()):
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
        return [json.loads(l) for l in lines if l.strip()]
    def wait(self, name, timeout, pred=lambda e: True):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            evs = self.events()
            for i in range(self.seen, len(evs)):
                if evs[i]["event"] == name and pred(evs[i]):
                    self.seen = i + 1
                    return evs[i]
            time.sleep(0.005)
        raise SystemExit(f"join-bench: no {name} event")
    def close(self):
        self.proc.stdin.close()
        self.proc.terminate()
        self.proc.wait(5)

class Client:
    def __init__(self, work):
        env = dict(os.environ, QT_FONT_DPI="96", QT_LOGGING_RULES="velmorant.session.debug=true")
        for d in ("data", "config", "tmp"):
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
        raise SystemExit(f"join-bench: the client never logged {needle!r}")
    def window(self, w, h, timeout=10):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)],
                                 capture_output=True, text=True).stdout.split()
            for i in ids:
                g = subprocess.run(["xdotool", "getwindowgeometry", "--shell", i], capture_output=True, text=True).stdout
                if f"WIDTH={w}\n" in g and f"HEIGHT={h}\n" in g:
                    return i
            time.sleep(0.05)
        raise SystemExit(f"join-bench: no {w}x{h} window")
    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()

def click(window, x, y):
    subprocess.run(["xdotool", "mousemove", "--window", window, str(x), str(y), "click", "1"], check=True)

def one_run():
    work = tempfile.mkdtemp(prefix="join-bench.")
    room = Emulator(work)
    port = room.ready["tcp_port"]
    with open(os.path.join(work, "network.json"), "w") as f:
        json.dump({"servers": [f"127.0.0.1:{port}"]}, f)
    client = Client(work)
    try:
        code = client.window(500, 252)
        time.sleep(1.8)  # splash
        subprocess.run(["xdotool", "windowfocus", "--sync", code], check=True)
        subprocess.run(["xdotool", "type", "--delay", "40", "vlm42"], check=True)
        client.wait_log('state=2 room="Salle 12"', 10)
        t0 = mono_us()
        subprocess.run(["xdotool", "key", "Return"], check=True)
        join = (room.wait("session.greeting", 10)["mono_us"] - t0) / 1000.0
        session = client.window(272, 384)
        room.wait("session.recv", 10, lambda e: e.get("name") == "Identity")
        time.sleep(0.3)
        t1 = mono_us()
        click(session, 72, 120)
        frame = room.wait("stream.frame", 15, lambda e: e.get("decoded"))
        first = (frame["done_us"] - t1) / 1000.0
        click(session, 72, 120)  # stop
        time.sleep(0.5)
    finally:
        client.close()
        room.close()

    return join, first

def peer_run():
    work = tempfile.mkdtemp(prefix="join-bench-peer.")
    room = Emulator(work)
    try:
        greeting = b'{ "connection_type" : "CLIENT"}'
        t0 = mono_us()
        s = socket.create_connection(("127.0.0.1", room.ready["tcp_port"]))
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        s.sendall(struct.pack("<i", len(greeting)) + greeting)
        took = (room.wait("session.greeting", 10)["mono_us"] - t0) / 1000.0
        s.close()
        return took
    finally:
        room.close()

def gui_wait_run():
    # A receiver that reads 20 KB/s: the library is throttled by flow control
    # while the user pauses, resumes and stops.
    work = tempfile.mkdtemp(prefix="join-bench-gui.")
    room = Emulator(work, ("--fault", "slow-stream", "--slow-rate", "20000"))
    with open(os.path.join(work, "network.json"), "w") as f:
        json.dump({"servers": [f"127.0.0.1:{room.ready['tcp_port']}"]}, f)
    client = Client(work)
    try:
        code = client.window(500, 252)
        time.sleep(1.8)
        subprocess.run(["xdotool", "windowfocus", "--sync", code], check=True)
        subprocess.run(["xdotool", "type", "--delay", "40", "vlm42"], check=True)
        client.wait_log('state=2 room="Salle 12"', 10)
        subprocess.run(["xdotool", "key", "Return"], check=True)
        session = client.window(272, 384)
        click(session, 72, 120)
        client.wait_log("stream look flux=started", 10)
        time.sleep(2.0)
        for _ in range(5):
            click(session, 164, 120)  # pause / resume
            time.sleep(0.7)
        click(session, 72, 120)  # stop
        time.sleep(1.0)
        waits = {}
        for name, ms in re.findall(r"glimra call (\w+) took ([0-9.]+) ms", client.text()):
            waits.setdefault(name, []).append(float(ms))
        return waits
    finally:
        client.close()
        room.close()

joins, firsts, peers = [], [], []
for i in range(runs):
    j, f = one_run()
    joins.append(j)
    firsts.append(f)
    peers.append(peer_run())
    print(f"run {i + 1}: join {j:.1f} ms (bare socket {peers[-1]:.2f} ms), first frame {f:.1f} ms", file=sys.stderr)
waits = gui_wait_run()

mj, mp, mf = statistics.median(joins), statistics.median(peers), statistics.median(firsts)
print(f"join_greeting {mj:.1f} ms {mj / mp:.1f}x-bare-socket")
print(f"first_frame {mf:.1f} ms -")
for name in ("pause", "restart", "stop", "isStreaming"):
    if name in waits:
        print(f"gui_wait_{name} {max(waits[name]):.2f} ms max-of-{len(waits[name])}")
PY
