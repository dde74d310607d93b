#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# run-test.sh [--display STATEDIR] -- command args...
# Runs one test with a private TMPDIR and XDG folders, on the fixture's X
# display when --display is given.
set -u
state=""
if [ "${1:-}" = "--display" ]; then state=$2; shift 2; fi
[ "${1:-}" = "--" ] && shift

work=$(mktemp -d "${TMPDIR:-/tmp}/velmorant-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp" "$work/data" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
export TMPDIR="$work/tmp" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime" VELMORANT_TEST_WORK="$work"
if [ -n "$state" ]; then
  if [ ! -s "$state/display" ]; then
    echo "run-test: no Xvfb display (the xvfb fixture did not start)" >&2
    exit 1
  fi
  DISPLAY=":$(cat "$state/display")"
  export DISPLAY
  unset QT_QPA_PLATFORM
fi
"$@"
