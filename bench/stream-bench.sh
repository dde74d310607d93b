#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# stream-bench.sh [BUILD_DIR] [SECONDS]
#
# Streams a 1920x1080 Xvfb screen showing the benchmark scene for SECONDS
# (default 20) through libGlimra to the room emulator, then through FFmpeg's
# x11grab + libx264 at the same encoder settings; both streams are decoded by
# libavcodec. Then the same on a still screen (CPU per second, longest gap
# between frames), and with two receivers: two that decode (no decoder error
# from the first key frame on), and one that decodes beside one that reads
# nothing at all. Prints one line per figure: name value unit ratio (against
# FFmpeg, or as the line's comment says).
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
import json, os, signal, socket, statistics, struct, subprocess, sys, tempfile, threading, time

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

def summary(name, slices, cpu_s):
    # slices: one list per run of (decoded monotonic µs, latency µs or None)
    count, span, lat = 0, 0.0, []
    for frames in slices:
        frames.sort()
        count += len(frames)
        if len(frames) >= 2:
            span += (frames[-1][0] - frames[0][0]) / 1e6
            count -= 1  # frames per second counts the intervals
        lat += [l / 1000.0 for _, l in frames if l is not None and l < 10_000_000]
    total = sum(len(frames) for frames in slices)
    if span <= 0:
        return {"name": name, "fps": 0.0, "median_ms": float("nan"), "p99_ms": float("nan"),
                "cpu_per_frame": float("nan"), "frames": total, "stamped": 0}
    lat.sort()
    p99 = lat[min(len(lat) - 1, int(round(0.99 * (len(lat) - 1))))] if lat else float("nan")
    return {"name": name, "fps": count / span,
            "median_ms": statistics.median(lat) if lat else float("nan"), "p99_ms": p99,
            "cpu_per_frame": cpu_s / total, "frames": total, "stamped": len(lat)}

def start_scene(still):
    scene = subprocess.Popen([os.path.join(bindir, "stream-bench-scene")] + (["--still"] if still else []), env=env)
    time.sleep(2.0)
    return scene

def stop(process):
    process.terminate()
    process.wait()

def start_emulator(tag):
    events_path = os.path.join(work, tag + ".jsonl")
    emulator = subprocess.Popen(
        [os.path.join(bindir, "room-emulator"), "--bind", "127.0.0.1", "--udp-port", "0", "--tcp-port", "0",
         "--no-discovery", "--stream-port", "0", "--luma-grid", "0,0,1920,80,32,2", "--events", events_path],
        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, env=env)
    deadline = time.time() + 30
    while time.time() < deadline and emulator.poll() is None:
        time.sleep(0.1)
        if os.path.exists(events_path):
            with open(events_path) as f:
                for line in f:
                    try:
                        event = json.loads(line)
                    except ValueError:
                        break  # a line still being written
                    if event.get("event") == "ready":
                        return emulator, event["stream_port"], events_path
    sys.exit("stream-bench: the room emulator did not start")

def run_sender(ports, length=None):
    sender = subprocess.Popen([os.path.join(bindir, "stream-bench-sender"), ",".join(map(str, ports)),
                               str(length or seconds)],
                              stdout=subprocess.PIPE, env=env, text=True)
    out, _ = sender.communicate()
    result = {}
    for line in out.splitlines():
        parts = line.split()
        if parts and parts[0] in ("cpu_s", "cpu_warm_s"):
            result[parts[0]] = [float(v) for v in parts[1:]]
    return result

def frame_events(emulator, events_path):
    time.sleep(0.5)
    emulator.send_signal(signal.SIGTERM)
    emulator.wait(timeout=10)
    events = []
    with open(events_path) as f:
        for line in f:
            event = json.loads(line)
            if event.get("event") == "stream.frame":
                events.append(event)
    return events

def stamped(events):
    out = []
    for event in events:
        if not event.get("decoded"):
            continue
        stamp = stamp_from_bits(event.get("bits", ""))
        done = event["done_us"]
        out.append((done, latency_us(stamp, done) if stamp is not None else None))
    return out

def run_ffmpeg(length=None):
    args = ["ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "x11grab", "-framerate", "1000",
            "-video_size", "1920x1080", "-i", os.environ["DISPLAY"], "-t", str(length or seconds),
            "-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency", "-b:v", "5000000", "-g", "25",
            "-bf", "0", "-qcomp", "1.0", "-threads", "4", "-x264-params", "fps=25", "-fps_mode", "passthrough",
            "-flush_packets", "1", "-f", "nut", "pipe:1"]
    # The probe writes to a file: a pipe nobody reads until FFmpeg ends
    # would fill up and stall both on a fast still screen.
    with tempfile.TemporaryFile(mode="w+", dir=work) as lines:
        probe = subprocess.Popen([os.path.join(bindir, "stream-bench-probe")], stdin=subprocess.PIPE,
                                 stdout=lines, text=True)
        started = time.time()
        ffmpeg = subprocess.Popen(args, stdout=probe.stdin)
        probe.stdin.close()
        _, _, usage = os.wait4(ffmpeg.pid, 0)
        ffmpeg.returncode = 0
        elapsed = time.time() - started
        probe.wait()
        lines.seek(0)
        out = lines.read()
    frames = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0] == "frame":
            frames.append((int(parts[1]), int(parts[2]) if int(parts[2]) >= 0 else None))
    return frames, usage.ru_utime + usage.ru_stime, elapsed

class StuckReceiver:
    """Answers both handshakes, then never reads again (keep-alives only)."""
    def __init__(self):
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(4)
        self.port = self.server.getsockname()[1]
        self.conns = []
        self.running = True
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        self.server.settimeout(0.5)
        while self.running and len(self.conns) < 2:
            try:
                conn, _ = self.server.accept()
            except socket.timeout:
                continue
            length = struct.unpack("<I", conn.recv(4, socket.MSG_WAITALL))[0]
            conn.recv(length, socket.MSG_WAITALL)
            answer = b'{ "answer" : 1}'
            conn.sendall(struct.pack("<I", len(answer)) + answer)
            self.conns.append(conn)
        while self.running:
            for conn in self.conns:
                try:
                    conn.send(b"\0\0\0\0", socket.MSG_DONTWAIT)  # a keep-alive, so it is not dropped for silence
                except OSError:
                    pass
            time.sleep(1.0)

    def close(self):
        self.running = False
        for conn in self.conns:
            conn.close()
        self.server.close()

def ratio(a, b):
    return a / b if b and b == b else float("nan")

# --- moving scene: ours and FFmpeg x11grab + libx264 at the same settings, in
# alternating slices, so that load from elsewhere falls on both alike ----------
SLICES = 4
slice_seconds = max(2, seconds // SLICES)
scene = start_scene(False)
try:
    ours_slices, ff_slices, ours_cpu, ffmpeg_cpu, warm_cpu, warm_wall = [], [], 0.0, 0.0, 0.0, 0.0
    beside_slices = []
    for i in range(SLICES):
        emulator, port, events_path = start_emulator(f"moving{i}")
        moving = run_sender([port], slice_seconds)
        ours_slices.append(stamped(frame_events(emulator, events_path)))
        ours_cpu += moving["cpu_s"][0]
        warm_cpu += moving["cpu_warm_s"][0]
        warm_wall += moving["cpu_warm_s"][1]
        frames, cpu, _ = run_ffmpeg(slice_seconds)
        ff_slices.append(frames)
        ffmpeg_cpu += cpu
        # One receiver that decodes beside one that reads nothing, in the same
        # alternation, so the ratio against the single receiver sees the same load.
        emulator, port, events_path = start_emulator(f"stuck{i}")
        stuck = StuckReceiver()
        run_sender([port, stuck.port], slice_seconds)
        stuck.close()
        beside_slices.append(stamped(frame_events(emulator, events_path)))
    ours = summary("glimra", ours_slices, ours_cpu)
    peer = summary("ffmpeg", ff_slices, ffmpeg_cpu)
    moving_cpu_rate = warm_cpu / warm_wall

    # --- two receivers that both decode --------------------------------------
    emulator, port, events_path = start_emulator("two")
    run_sender([port, port])
    events = frame_events(emulator, events_path)
    per_stream = {}
    for event in events:
        per_stream.setdefault(event.get("stream"), []).append(event)
    two_errors, two_fps = 0, []
    for stream, stream_events in sorted(per_stream.items()):
        keyed = False
        for event in stream_events:
            keyed = keyed or event.get("key")
            if keyed and (event.get("error") or not event.get("decoded")):
                two_errors += 1
        done = [e["done_us"] for e in stream_events if e.get("decoded")]
        two_fps.append((len(done) - 1) / ((done[-1] - done[0]) / 1e6) if len(done) > 1 else 0.0)
    two_first_key = all(next((e.get("key") for e in stream_events), False) for stream_events in per_stream.values())
    beside = summary("glimra", beside_slices, 0.0)
finally:
    stop(scene)

# --- still scene ---------------------------------------------------------------
scene = start_scene(True)
try:
    emulator, port, events_path = start_emulator("still")
    still = run_sender([port])
    still_cpu_rate = still["cpu_warm_s"][0] / still["cpu_warm_s"][1]
    done = sorted(e["done_us"] for e in frame_events(emulator, events_path) if e.get("decoded"))
    # Gaps from the second second on (past the top-off frames).
    settled = [t for t in done if t >= done[0] + 1_000_000] if done else []
    gaps = [(b - a) / 1000.0 for a, b in zip(settled, settled[1:])]
    still_frames = len(done)
    _, ff_still_cpu, ff_still_elapsed = run_ffmpeg()
    ff_still_rate = ff_still_cpu / ff_still_elapsed
finally:
    stop(scene)

print(f"# {seconds} s each on a 1920x1080 Xvfb, moving scene in {SLICES} alternating slices; "
      f"glimra: {ours['frames']} frames ({ours['stamped']} stamped), "
      f"ffmpeg: {peer['frames']} frames ({peer['stamped']} stamped)")
print(f"stream_fps_glimra {ours['fps']:.1f} fps {ratio(ours['fps'], peer['fps']):.2f}")
print(f"stream_fps_ffmpeg {peer['fps']:.1f} fps 1.00")
print(f"latency_median_glimra {ours['median_ms']:.1f} ms {ratio(ours['median_ms'], peer['median_ms']):.2f}")
print(f"latency_median_ffmpeg {peer['median_ms']:.1f} ms 1.00")
print(f"latency_p99_glimra {ours['p99_ms']:.1f} ms {ratio(ours['p99_ms'], peer['p99_ms']):.2f}")
print(f"latency_p99_ffmpeg {peer['p99_ms']:.1f} ms 1.00")
print(f"cpu_per_frame_glimra {ours['cpu_per_frame'] * 1000:.2f} ms {ratio(ours['cpu_per_frame'], peer['cpu_per_frame']):.2f}")
print(f"cpu_per_frame_ffmpeg {peer['cpu_per_frame'] * 1000:.2f} ms 1.00")
print(f"# still screen: glimra {still_frames} frames; ratio of glimra's still CPU against its own moving CPU")
print(f"still_cpu_glimra {still_cpu_rate:.3f} s/s {ratio(still_cpu_rate, moving_cpu_rate):.3f}")
print(f"moving_cpu_glimra {moving_cpu_rate:.3f} s/s 1.000")
print(f"still_cpu_ffmpeg {ff_still_rate:.3f} s/s {ratio(ff_still_rate, moving_cpu_rate):.3f}")
print(f"still_max_gap_glimra {max(gaps) if gaps else float('nan'):.0f} ms {(max(gaps) if gaps else float('nan')) / 500:.2f}")
print(f"# two receivers: decoder errors from the first key frame on (first packet a key frame: {two_first_key})")
print(f"two_receivers_decode_errors {two_errors} errors {len(per_stream)}")
print("two_receivers_fps " + " ".join(f"{f:.1f}" for f in two_fps) + f" fps {ratio(min(two_fps), ours['fps']):.2f}")
print(f"# one receiver decoding beside one that reads nothing, in slices alternating with the single receiver; ratio against it")
print(f"beside_stuck_fps_glimra {beside['fps']:.1f} fps {ratio(beside['fps'], ours['fps']):.2f}")
PY
