#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# run-demo.sh BUILD_DIR: starts the bundled room emulator as the demo room on
# loopback and the client beside it, from BUILD_DIR/run/ whose network.json
# points at the emulator. Without a display, runs both on a private Xvfb,
# says so, types the demo code and saves screenshots under BUILD_DIR/run/.
set -eu
scripts=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
client="$build/bin/VelmorantClient"
emulator="$build/bin/room-emulator"
code=${DEMO_CODE:-VLM42}
run="$build/run"
mkdir -p "$run"
cd "$run"

events="$run/room-events.jsonl"
: >"$events"
emulator_pid=""
start_emulator() { # tcp port, udp port
  "$emulator" --bind 127.0.0.1 --tcp-port "$1" --udp-port "$2" \
    --room "$code:Salle de démonstration:3:10:2:demo-room" --events "$events" &
  emulator_pid=$!
  for _ in $(seq 50); do
    grep -q '"event":"ready"' "$events" 2>/dev/null && return 0
    kill -0 "$emulator_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# The room's usual ports, so discovery works as in a real room; other ports
# when something else holds them (then only the direct code test finds it).
if ! start_emulator 18413 48504; then
  : >"$events"
  start_emulator 0 0 || { echo "run-demo: the room emulator did not start" >&2; exit 1; }
fi
trap 'kill $emulator_pid 2>/dev/null; wait $emulator_pid 2>/dev/null || true' EXIT
tcp_port=$(sed -n 's/.*"event":"ready".*"tcp_port":\([0-9]*\).*/\1/p' "$events" | head -n1)
cat >network.json <<JSON
{ "udpUnicast": true, "servers": ["127.0.0.1:$tcp_port"] }
JSON

echo "run-demo: room emulator on 127.0.0.1 (TCP $tcp_port); its events go to $events"
echo "run-demo: demo room code: $code   (type it into the client)"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  "$client"
  exit $?
fi

echo "run-demo: no X display here; running the client on a private Xvfb for a few seconds."
"$scripts/with-xvfb.sh" --screen 1280x800x24 -- bash -c '
  "$1" & pid=$!
  sleep 3
  import -window root "$2/screenshot-start.png"
  win=$(xdotool search --sync --onlyvisible --pid $pid 2>/dev/null | head -n1)
  [ -n "$win" ] && xdotool windowfocus --sync "$win"
  xdotool type --delay 80 "$3"
  sleep 3
  import -window root "$2/screenshot.png" && echo "run-demo: screenshots saved to $2/screenshot-start.png and $2/screenshot.png"
  kill $pid 2>/dev/null; wait $pid 2>/dev/null; exit 0' _ "$client" "$run" "$code"
