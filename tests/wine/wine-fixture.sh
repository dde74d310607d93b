#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# wine-fixture.sh start|stop STATEDIR WINE WINESERVER
# The Wine tests' fixture: a private Xvfb (1366x768, a width that is not a
# multiple of 4) and a fresh Wine prefix in STATEDIR, created once per test
# run because the first start of a prefix is slow. When Wine cannot start
# here, STATEDIR/unavailable says why and the Wine tests skip (exit 77).
set -u
cmd=$1 state=$2 wine=${3:-} wineserver=${4:-}
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEARCH=win64
# No network, no downloads: Wine must not offer to fetch Mono or Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml="

unavailable() {
  echo "$*" >"$state/unavailable"
  echo "wine-fixture: SKIPPED, Wine cannot start here: $*"
  exit 77
}

stop() {
  if [ -n "$wineserver" ] && [ -x "$wineserver" ] && [ -d "$WINEPREFIX" ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
  fi
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/display"
  fi
}

case "$cmd" in
  start)
    stop
    rm -rf "$state"
    mkdir -p "$state"
    [ -n "$wine" ] && [ -x "$wine" ] || unavailable "wine64 is not installed (scripts/install-deps.sh --cross)"
    command -v Xvfb >/dev/null || unavailable "no Xvfb to give Wine a display"
    exec 3>"$state/display"
    # Started in its own session so that it outlives this test's process group.
    setsid Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp -noreset +extension XTEST \
      >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    exec 3>&-
    for _ in $(seq 200); do
      [ -s "$state/display" ] && break
      sleep 0.05
    done
    [ -s "$state/display" ] || unavailable "Xvfb did not start: $(tail -n 3 "$state/xvfb.log")"
    export DISPLAY=":$(cat "$state/display")"
    [ -n "$wineserver" ] && [ -x "$wineserver" ] || unavailable "wineserver is not installed"
    # One server for the whole run, kept for 15 minutes without programs
    # (longer than a run; an interrupted run leaves it only that long), so
    # every test starts in well under a second and finds the prefix settled.
    # The server and the desktop process outlive this script; their output
    # goes to the logs so that CTest does not wait for them.
    mkdir -p "$WINEPREFIX"
    "$wineserver" -p900 >"$state/wineserver.log" 2>&1 </dev/null || unavailable "wineserver did not start"
    if ! timeout 240 "$wine" wineboot >"$state/wineboot.log" 2>&1 </dev/null; then
      tail -n 5 "$state/wineboot.log"
      unavailable "wineboot failed (see $state/wineboot.log)"
    fi
    echo "wine-fixture: prefix $WINEPREFIX on display $DISPLAY ($("$wine" --version 2>/dev/null))"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop STATEDIR WINE WINESERVER" >&2
    exit 2
    ;;
esac
