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

exec env PYTHONPATH="$here/lib" python3 - "$build/bin" "$runs" <<'PY'
import os, re, socket, statistics, struct, subprocess, sys, tempfile, time
from roomclient import Client, Emulator, click, mono_us

bindir, runs = sys.argv[1], int(sys.argv[2])

def one_run():
    work = tempfile.mkdtemp(prefix="join-bench.")
    room = Emulator(bindir, os.path.join(work, "room"))
    room.write_network_file(work)
    client = Client(bindir, work)
    try:
        client.type_code()
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
    room = Emulator(bindir, work)
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
    room = Emulator(bindir, os.path.join(work, "room"), ("--fault", "slow-stream", "--slow-rate", "20000"))
    room.write_network_file(work)
    client = Client(bindir, work)
    try:
        client.type_code()
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
