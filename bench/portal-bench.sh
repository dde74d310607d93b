#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# portal-bench.sh [BUILD_DIR] [SECONDS] [ROUNDS]
#
# Capture-to-decode latency of libGlimra through the desktop portal and
# PipeWire (the Wayland path, on the test fixture of tests/wayland: the real
# xdg-desktop-portal with the fake backend, whose PipeWire source paints the
# benchmark's timestamp at SOURCE_FPS frames per second, default 120), next to
# the same through X11 on a 1920x1080 Xvfb showing the benchmark scene. Both
# are decoded by the room emulator; each of ROUNDS rounds (default 3) runs
# both for SECONDS (default 10). Prints one line per figure: name value unit
# ratio (portal against X11), the value being the median over the rounds.
# Needs stream-bench-scene, stream-bench-sender, room-emulator and
# fake-pipewire-source built in BUILD_DIR (default ./build).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${2:-10}
rounds=${3:-3}
fps=${SOURCE_FPS:-120}
for tool in stream-bench-scene stream-bench-sender room-emulator fake-pipewire-source; do
  [ -x "$build/bin/$tool" ] || { echo "portal-bench: $build/bin/$tool is missing; build it first" >&2; exit 1; }
done
run=$here/portal/latencyrun.py
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for ((i = 1; i <= rounds; i++)); do
  echo "x11 $("$root/scripts/with-xvfb.sh" --screen 1920x1080x24 -- python3 "$run" x11 "$build/bin" "$seconds" ||
    echo "run failed")" >>"$out"
  # The fixture's control folder exists only inside it: the source's rate goes in there first.
  echo "portal $("$root/tests/wayland/with-portal.sh" "$build/bin/fake-pipewire-source" -- \
    bash -c 'echo "--fps $0" >"$FAKE_PORTAL_DIR/source-args" && exec python3 "$@"' "$fps" \
    "$run" portal "$build/bin" "$seconds" 2>/dev/null || echo "run failed")" >>"$out"
done
python3 - "$out" "$fps" <<'PY'
import statistics, sys
runs = {"x11": [], "portal": []}
for line in open(sys.argv[1]):
    parts = line.split()
    if len(parts) == 11:
        runs[parts[0]].append(dict(zip(parts[1::2], map(float, parts[2::2]))))
    else:
        print("# a %s run gave no figures: %s" % (parts[0] if parts else "?", line.strip()))
def med(kind, key):
    values = [r[key] for r in runs[kind] if r[key] == r[key]]
    return statistics.median(values) if values else float("nan")
for kind in ("x11", "portal"):
    for r in runs[kind]:
        print("# %s run: %s" % (kind, " ".join("%s=%g" % kv for kv in r.items())))
for key, name, unit in (("median_ms", "latency_median", "ms"), ("p90_ms", "latency_p90", "ms"),
                        ("fps", "decoded_fps", "frames/s")):
    x11, portal = med("x11", key), med("portal", key)
    print("portal_%s %.2f %s %.2f" % (name, portal, unit, portal / x11 if x11 else float("nan")))
    print("x11_%s %.2f %s 1.00" % (name, x11, unit))
print("# portal source at %s frames/s; %d rounds each" % (sys.argv[2], len(runs["portal"])))
PY
