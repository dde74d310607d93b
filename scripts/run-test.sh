#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# run-test.sh [--display STATEDIR] -- command args...
# Runs one test with a private TMPDIR and XDG folders, on the fixture's X
# display when --display is given.
#
# In sanitizer builds every process the test starts (the client an
# end-to-end test launches, the room emulator) writes its reports to the
# test's own folder; any report fails the test, whatever the exit status.
# The suppression files name third-party functions only.
set -u
state=""
if [ "${1:-}" = "--display" ]; then state=$2; shift 2; fi
[ "${1:-}" = "--" ] && shift

here=$(cd "$(dirname "$0")" && pwd)
supp="$here/../tests/sanitizers"
work=$(mktemp -d "${TMPDIR:-/tmp}/velmorant-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp" "$work/data" "$work/config" "$work/runtime" "$work/sanitizer"
chmod 700 "$work/runtime"
export TMPDIR="$work/tmp" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime" VELMORANT_TEST_WORK="$work"

report="$work/sanitizer/report"
export ASAN_OPTIONS="log_path=$report:detect_leaks=1:fast_unwind_on_malloc=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="log_path=$report:print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export TSAN_OPTIONS="log_path=$report:suppressions=$supp/tsan.supp:second_deadlock_stack=1:ignore_noninstrumented_modules=1:print_suppressions=0${TSAN_OPTIONS:+:$TSAN_OPTIONS}"

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
status=$?

# Reports land in report.<pid>, one per process that had something to say.
reports=$(find "$work/sanitizer" -type f -name 'report*' -size +0 2>/dev/null | sort)
if [ -n "$reports" ]; then
  for r in $reports; do
    echo "run-test: sanitizer report of process ${r##*.}:" >&2
    cat "$r" >&2
  done
  [ $status = 0 ] && status=1
fi
exit $status
