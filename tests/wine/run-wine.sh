#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# run-wine.sh STATEDIR WINE program.exe [args...]
# Runs one Windows test program under Wine on the fixture's display and
# prefix; exits 77 (skipped) when the fixture found that Wine cannot start.
set -u
state=$1 wine=$2
shift 2
failed="$(dirname "$1")/build-failed"
if [ -f "$failed" ]; then
  echo "run-wine: the Windows backends did not build with mingw-w64:" >&2
  grep -E 'error|warning' "$failed" | head -n 40 >&2
  exit 1
fi
if [ -s "$state/unavailable" ]; then
  echo "SKIPPED: Wine cannot start here: $(cat "$state/unavailable")"
  exit 77
fi
if [ ! -s "$state/display" ] || [ ! -d "$state/prefix" ]; then
  echo "run-wine: the Wine fixture did not run (no display or prefix in $state)" >&2
  exit 1
fi
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=":$(cat "$state/display")"
# Wine lets Unix root write files with the read-only attribute; the tests
# need to know.
export VELMORANT_UNIX_UID="$(id -u)"
# Processes Wine starts on the side may outlive the program; they must not
# hold CTest's output pipe, so the output goes through a file.
log=$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX")
"$wine" "$@" >"$log" 2>&1 </dev/null
rc=$?
cat "$log"
rm -f "$log"
exit $rc
