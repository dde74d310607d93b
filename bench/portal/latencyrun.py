# SPDX-License-Identifier: GPL-2.0-or-later
"""One run of portal-bench.sh inside its fixture: streams monitor 0 through
libGlimra (stream-bench-sender) to the room emulator for SECONDS and prints
"frames N stamped S fps F median_ms M p90_ms P" from the timestamps read back
from the decoded pictures. MODE x11 starts the benchmark scene first; MODE
portal relies on the fixture's fake source."""
import os, statistics, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from roomclient import Emulator  # noqa: E402

mode, bindir, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3])
env = dict(os.environ, QT_LOGGING_RULES="*.debug=false;glimra.*.info=false")
if mode == "portal":
    env["QT_QPA_PLATFORM"] = "offscreen"

def stamp_from_bits(bits):
    # Row 0: the 32 bits, most significant first; row 1: their complement.
    if len(bits) != 64 or any(a == b for a, b in zip(bits[:32], bits[32:])):
        return None
    return int(bits[:32], 2)

def latency_us(stamp, now_us):
    now = (now_us // 100) & 0xFFFFFFFF
    return ((now - stamp) & 0xFFFFFFFF) * 100 + now_us % 100

scene = None
if mode == "x11":
    scene = subprocess.Popen([os.path.join(bindir, "stream-bench-scene")], env=env)
    time.sleep(2.0)
emulator = Emulator(bindir, tempfile.mkdtemp(prefix="portal-bench."), ["--luma-grid", "0,0,1920,80,32,2"])
subprocess.run([os.path.join(bindir, "stream-bench-sender"), str(emulator.ready["stream_port"]), str(seconds)],
               env=env, stdout=subprocess.DEVNULL, check=True)
time.sleep(0.5)
emulator.close()
if scene:
    scene.terminate()
    scene.wait()
frames = []
for event in emulator.events():
    if event["event"] == "stream.frame" and event.get("decoded"):
        stamp = stamp_from_bits(event.get("bits", ""))
        frames.append((event["done_us"], latency_us(stamp, event["done_us"]) if stamp is not None else None))
lat = sorted(l / 1000.0 for _, l in frames if l is not None and l < 10_000_000)
span = (frames[-1][0] - frames[0][0]) / 1e6 if len(frames) >= 2 else 0
fps = (len(frames) - 1) / span if span > 0 else 0.0
median = statistics.median(lat) if lat else float("nan")
p90 = lat[int(round(0.9 * (len(lat) - 1)))] if lat else float("nan")
print("frames %d stamped %d fps %.1f median_ms %.2f p90_ms %.2f" % (len(frames), len(lat), fps, median, p90))
