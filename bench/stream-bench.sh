#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# stream-bench.sh [BUILD_DIR] [SECONDS]
#
# Streams a 1920x1080 Xvfb screen showing the benchmark scene for SECONDS
# (default 20) through libGlimra to the room emulator, then through FFmpeg's
# x11grab + libx264 at the same encoder settings; both streams are decoded by
# libavcodec. Prints one line per figure: name value unit ratio-vs-ffmpeg.
# Needs the targets stream-bench-scene, stream-bench-sender, stream-bench-probe
# and room-emulator built in BUILD_DIR (default ./build).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-20}

if [ -z "${STREAM_BENCH_DISPLAY:-}" ]; then
  exec "$root/scripts/with-xvfb.sh" --screen 1920x1080x24 -- \
    env STREAM_BENCH_DISPLAY=1 "$0" "$build" "$seconds"
fi

for tool in stream-bench-scene stream-bench-sender stream-bench-probe room-emulator; do
  [ -x "$build/bin/$tool" ] || { echo "stream-bench: $build/bin/$tool is missing; build it first" >&2; exit 1; }
done

exec python3 - "$build/bin" "$seconds" <<'PY'
import json, os, signal, statistics, subprocess, sys, tempfile, time

bindir, seconds = sys.argv[1], int(sys.argv[2])
work = tempfile.mkdtemp(prefix="stream-bench.")
env = dict(os.environ, QT_LOGGING_RULES="*.debug=false")

def stamp_from_bits(bits):
    # Row 0: the 32 bits, most significant first; row 1: their complement.
    if len(bits) != 64:
        return None
    row, inverse = bits[:32], bits[32:]
    if any(a == b for a, b in zip(row, inverse)):
        return None
    return int(row, 2)

def latency_us(stamp, now_us):
    now = (now_us // 100) & 0xFFFFFFFF
    return ((now - stamp) & 0xFFFFFFFF) * 100 + now_us % 100

def summary(name, frames, cpu_s):
    # frames: list of (decoded monotonic µs, latency µs or None)
    frames.sort()
    if len(frames) < 2:
        return {"name": name, "fps": 0.0, "median_ms": float("nan"), "p99_ms": float("nan"),
                "cpu_per_frame": float("nan"), "frames": len(frames), "stamped": 0}
    span = (frames[-1][0] - frames[0][0]) / 1e6
    lat = sorted(l / 1000.0 for _, l in frames if l is not None and l < 10_000_000)
    p99 = lat[min(len(lat) - 1, int(round(0.99 * (len(lat) - 1))))] if lat else float("nan")
    return {"name": name, "fps": (len(frames) - 1) / span,
            "median_ms": statistics.median(lat) if lat else float("nan"), "p99_ms": p99,
            "cpu_per_frame": cpu_s / len(frames), "frames": len(frames), "stamped": len(lat)}

scene = subprocess.Popen([os.path.join(bindir, "stream-bench-scene")], env=env)
time.sleep(2.0)
try:
    # --- ours: libGlimra -> room emulator ---------------------------------
    events_path = os.path.join(work, "emulator.jsonl")
    emulator = subprocess.Popen(
        [os.path.join(bindir, "room-emulator"), "--bind", "127.0.0.1", "--udp-port", "0", "--tcp-port", "0",
         "--no-discovery", "--stream-port", "0", "--luma-grid", "0,0,1920,80,32,2", "--events", events_path],
        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, env=env)
    port = None
    deadline = time.time() + 30
    while port is None and time.time() < deadline and emulator.poll() is None:
        time.sleep(0.1)
        if os.path.exists(events_path):
            with open(events_path) as f:
                for line in f:
                    try:
                        event = json.loads(line)
                    except ValueError:
                        break  # a line still being written
                    if event.get("event") == "ready":
                        port = event["stream_port"]
    if port is None:
        sys.exit("stream-bench: the room emulator did not start")
    sender = subprocess.Popen([os.path.join(bindir, "stream-bench-sender"), str(port), str(seconds)],
                              stdout=subprocess.PIPE, env=env, text=True)
    out, _ = sender.communicate()
    ours_cpu = float(next(l.split()[1] for l in out.splitlines() if l.startswith("cpu_s")))
    time.sleep(0.5)
    emulator.send_signal(signal.SIGTERM)
    emulator.wait(timeout=10)
    ours_frames = []
    with open(events_path) as f:
        for line in f:
            event = json.loads(line)
            if event.get("event") != "stream.frame" or not event.get("decoded"):
                continue
            stamp = stamp_from_bits(event.get("bits", ""))
            done = event["done_us"]
            ours_frames.append((done, latency_us(stamp, done) if stamp is not None else None))
    ours = summary("glimra", ours_frames, ours_cpu)

    # --- peer: FFmpeg x11grab + libx264 at the same settings ----------------
    probe = subprocess.Popen([os.path.join(bindir, "stream-bench-probe")], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, text=True)
    ffmpeg = subprocess.Popen(
        ["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "x11grab", "-framerate", "1000",
         "-video_size", "1920x1080", "-i", os.environ["DISPLAY"], "-t", str(seconds),
         "-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency", "-b:v", "5000000", "-g", "25",
         "-bf", "0", "-qcomp", "1.0", "-threads", "4", "-x264-params", "fps=25", "-fps_mode", "passthrough",
         "-flush_packets", "1", "-f", "nut", "pipe:1"], stdout=probe.stdin)
    probe.stdin.close()
    _, _, usage = os.wait4(ffmpeg.pid, 0)
    ffmpeg.returncode = 0
    ffmpeg_cpu = usage.ru_utime + usage.ru_stime
    out = probe.stdout.read()
    probe.wait()
    ff_frames = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0] == "frame":
            ff_frames.append((int(parts[1]), int(parts[2]) if int(parts[2]) >= 0 else None))
    peer = summary("ffmpeg", ff_frames, ffmpeg_cpu)
finally:
    scene.terminate()
    scene.wait()

def ratio(a, b):
    return a / b if b and b == b else float("nan")

print(f"# {seconds} s each on a 1920x1080 Xvfb; glimra: {ours['frames']} frames ({ours['stamped']} stamped), "
      f"ffmpeg: {peer['frames']} frames ({peer['stamped']} stamped)")
print(f"stream_fps_glimra {ours['fps']:.1f} fps {ratio(ours['fps'], peer['fps']):.2f}")
print(f"stream_fps_ffmpeg {peer['fps']:.1f} fps 1.00")
print(f"latency_median_glimra {ours['median_ms']:.1f} ms {ratio(ours['median_ms'], peer['median_ms']):.2f}")
print(f"latency_median_ffmpeg {peer['median_ms']:.1f} ms 1.00")
print(f"latency_p99_glimra {ours['p99_ms']:.1f} ms {ratio(ours['p99_ms'], peer['p99_ms']):.2f}")
print(f"latency_p99_ffmpeg {peer['p99_ms']:.1f} ms 1.00")
print(f"cpu_per_frame_glimra {ours['cpu_per_frame'] * 1000:.2f} ms {ratio(ours['cpu_per_frame'], peer['cpu_per_frame']):.2f}")
print(f"cpu_per_frame_ffmpeg {peer['cpu_per_frame'] * 1000:.2f} ms 1.00")
PY
