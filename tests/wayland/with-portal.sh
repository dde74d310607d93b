#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# with-portal.sh FAKESOURCE -- command args...
# Runs a command in a private desktop session without compositor or GPU: its
# own D-Bus session bus, PipeWire and WirePlumber, and the real
# xdg-desktop-portal frontend pointed at the fake backend (fakeportal.py),
# which starts FAKESOURCE as the screen. The command sees FAKE_PORTAL_DIR
# (control files), FAKE_PORTAL_LOG (the backend's JSON lines) and a Wayland
# session's environment.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if [ "${WITH_PORTAL_INNER:-}" != 1 ]; then
  [ $# -ge 3 ] && [ "$2" = "--" ] || { echo "usage: $0 FAKESOURCE -- command args..." >&2; exit 2; }
  work=$(mktemp -d "${TMPDIR:-/tmp}/portal-fixture.XXXXXX")
  mkdir -m 700 "$work/run"
  trap 'rm -rf "$work"' EXIT
  WITH_PORTAL_INNER=1 WITH_PORTAL_WORK="$work" XDG_RUNTIME_DIR="$work/run" \
    dbus-run-session -- "$0" "$@"
  exit $?
fi

source_program=$1
shift 2
work=$WITH_PORTAL_WORK
export FAKE_PORTAL_DIR="$work/control" FAKE_PORTAL_LOG="$work/portal.log" FAKE_PORTAL_SOURCE="$source_program"
mkdir -p "$FAKE_PORTAL_DIR" "$work/config" "$work/data" "$work/state"
: >"$FAKE_PORTAL_LOG"
export XDG_CONFIG_HOME="${XDG_CONFIG_HOME:-$work/config}" XDG_DATA_HOME="${XDG_DATA_HOME:-$work/data}"
export XDG_STATE_HOME="$work/state" XDG_CURRENT_DESKTOP=fake XDG_DESKTOP_PORTAL_DIR="$here/portals"
export PIPEWIRE_RUNTIME_DIR="$XDG_RUNTIME_DIR" PIPEWIRE_LOG_SYSTEMD=false DISABLE_RTKIT=1
unset DISPLAY WAYLAND_DISPLAY PIPEWIRE_REMOTE

pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
}
trap cleanup EXIT

wait_for() { # seconds, test command...
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
}
has_name() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

pipewire >"$work/pipewire.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || { echo "with-portal: pipewire did not start" >&2; cat "$work/pipewire.log" >&2; exit 1; }
wireplumber >"$work/wireplumber.log" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/fakeportal.py" 2>"$work/fakeportal.err" &
pids+=($!)
wait_for 10 has_name org.freedesktop.impl.portal.desktop.fake || { echo "with-portal: the fake backend did not start" >&2; cat "$work/fakeportal.err" >&2; exit 1; }
/usr/libexec/xdg-desktop-portal -r >"$work/portal.out" 2>&1 &
pids+=($!)
wait_for 10 has_name org.freedesktop.portal.Desktop || { echo "with-portal: xdg-desktop-portal did not start" >&2; cat "$work/portal.out" >&2; exit 1; }

export XDG_SESSION_TYPE=wayland
"$@"
rc=$?
if [ $rc -ne 0 ]; then
  for f in fakeportal.err portal.out; do echo "--- $f" >&2; tail -n 20 "$work/$f" >&2; done
fi
exit $rc
