#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# transfer-bench.sh [BUILD_DIR] [MIB] [RUNS]
#
# Sends a file of MIB MiB (default 1024) from the real program to the room
# emulator on loopback, chosen in the file dialog as a user would (xdotool on
# a private Xvfb), RUNS times (default 3). The peer, in the same run: a raw
# TCP copy of the same file into a file with socat. Prints medians:
#   transfer_throughput  MB/s, ratio to the raw copy
#   transfer_rss_growth  the client's resident memory growth during the transfer
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mib=${2:-1024}
runs=${3:-3}

if [ -z "${TRANSFER_BENCH_DISPLAY:-}" ]; then
  exec "$root/scripts/with-xvfb.sh" --screen 1920x1080x24 -- \
    env TRANSFER_BENCH_DISPLAY=1 "$0" "$build" "$mib" "$runs"
fi
command -v socat >/dev/null || { echo "transfer-bench: needs socat (apt-get install socat)" >&2; exit 1; }
for tool in VelmorantClient room-emulator; do
  [ -x "$build/bin/$tool" ] || { echo "transfer-bench: $build/bin/$tool is missing; build it first" >&2; exit 1; }
done

exec env PYTHONPATH="$here/lib" python3 - "$build/bin" "$mib" "$runs" <<'PY'
import os, shutil, socket, statistics, subprocess, sys, tempfile, threading, time
from roomclient import Client, Emulator, click, key, mono_us

bindir, mib, runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
size = mib * 1024 * 1024

def client_run(path):
    work = tempfile.mkdtemp(prefix="transfer-bench.")
    # Hashing is the room's slowest step: left out, the client is measured.
    # The room writes the file, as the raw copy does.
    inbox = os.path.join(work, "inbox")
    os.makedirs(inbox)
    room = Emulator(bindir, os.path.join(work, "room"), ("--no-hash", "--save-dir", inbox))
    room.write_network_file(work)
    client = Client(bindir, work, logging_rules="*.debug=false")
    samples = []
    try:
        client.type_code()
        key("Return")
        session = client.window(272, 384)
        room.wait("session.recv", 10, lambda e: e.get("name") == "Identity")
        time.sleep(0.3)
        click(session, 72, 220)   # the send menu
        click(session, 49, 296)   # files
        time.sleep(1.0)           # the dialog opens with the name field focused
        subprocess.run(["xdotool", "type", "--delay", "10", path], check=True)
        key("Return")
        room.wait("session.recv", 10, lambda e: e.get("name") == "FileRequest")
        base = client.rss_kib()
        start = room.wait("file.greeting", 30)
        done = threading.Event()
        def sample():
            while not done.is_set():
                samples.append(client.rss_kib())
                time.sleep(0.1)
        sampler = threading.Thread(target=sample)
        sampler.start()
        saved = room.wait("file.saved", 600)
        done.set()
        sampler.join()
        if int(saved["size"]) != size:
            raise SystemExit(f"transfer-bench: the room got {saved['size']} bytes of {size}")
        seconds = (saved["mono_us"] - start["mono_us"]) / 1e6
        return size / seconds / 1e6, (max(samples) - base) / 1024.0
    finally:
        client.close()
        room.close()
        shutil.rmtree(work, ignore_errors=True)

def raw_run(path):
    work = tempfile.mkdtemp(prefix="transfer-bench-raw.")
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    target = os.path.join(work, "copy.bin")
    listener = subprocess.Popen(["socat", "-u", f"TCP-LISTEN:{port},bind=127.0.0.1,reuseaddr",
                                 f"CREATE:{target}"])
    time.sleep(0.3)
    t0 = time.monotonic()
    subprocess.run(["socat", "-u", f"OPEN:{path},rdonly", f"TCP:127.0.0.1:{port}"], check=True)
    listener.wait(600)
    seconds = time.monotonic() - t0
    copied = os.path.getsize(target)
    shutil.rmtree(work, ignore_errors=True)
    if copied != size:
        raise SystemExit(f"transfer-bench: socat copied {copied} bytes of {size}")
    return size / seconds / 1e6

folder = tempfile.mkdtemp(prefix="transfer-bench-file.")
path = os.path.join(folder, "big.pdf")
with open(path, "wb") as f:
    block = os.urandom(1024 * 1024)
    for _ in range(mib):
        f.write(block)
ours, raw, growth = [], [], []
try:
    for i in range(runs):
        rate, rss = client_run(path)
        ours.append(rate)
        growth.append(rss)
        raw.append(raw_run(path))
        print(f"run {i + 1}: client {rate:.0f} MB/s (+{rss:.1f} MB resident), raw copy {raw[-1]:.0f} MB/s",
              file=sys.stderr)
finally:
    shutil.rmtree(folder, ignore_errors=True)
mo, mr, mg = statistics.median(ours), statistics.median(raw), statistics.median(growth)
print(f"transfer_throughput {mo:.0f} MB/s {mo / mr:.2f}x-raw-copy")
print(f"transfer_rss_growth {mg:.1f} MB -")
PY
