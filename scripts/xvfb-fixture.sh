#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# xvfb-fixture.sh start|stop STATEDIR
# Starts one Xvfb on a free display (Xvfb picks it with -displayfd) for the
# tests that need a real X server, and stops it again.
set -eu
cmd=$1 state=$2
case "$cmd" in
  start)
    "$0" stop "$state" || true
    mkdir -p "$state"
    exec 3>"$state/display"
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset +extension XTEST \
      >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/pid"
    exec 3>&-
    for _ in $(seq 100); do
      [ -s "$state/display" ] && break
      sleep 0.05
    done
    if [ ! -s "$state/display" ]; then
      echo "xvfb-fixture: Xvfb did not start:" >&2
      cat "$state/xvfb.log" >&2
      exit 1
    fi
    echo "xvfb-fixture: Xvfb on :$(cat "$state/display")"
    ;;
  stop)
    [ -f "$state/pid" ] || exit 0
    kill "$(cat "$state/pid")" 2>/dev/null || true
    rm -f "$state/pid" "$state/display"
    ;;
  *) echo "usage: $0 start|stop STATEDIR" >&2; exit 2 ;;
esac
