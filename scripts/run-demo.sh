#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# run-demo.sh BUILD_DIR: starts the client. Without a display, runs it on a
# private Xvfb, says so, and saves a screenshot under BUILD_DIR/run/.
set -eu
scripts=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
client="$build/bin/VelmorantClient"
mkdir -p "$build/run"
cd "$build/run"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$client"
fi

shot="$build/run/screenshot.png"
echo "run-demo: no X display here; running the client on a private Xvfb for 8 s."
"$scripts/with-xvfb.sh" --screen 1280x800x24 -- bash -c '
  "$1" & pid=$!
  sleep 5
  import -window root "$2" && echo "run-demo: screenshot saved to $2"
  sleep 3
  kill $pid 2>/dev/null; wait $pid 2>/dev/null; exit 0' _ "$client" "$shot"
