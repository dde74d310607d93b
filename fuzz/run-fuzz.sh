#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# run-fuzz.sh BUILDDIR [RUNS] [TARGET...]
# Runs fuzz targets of a -DVELMORANT_FUZZ=ON build one after another, each
# for RUNS executions (default 1000000) or MAX_TIME seconds (default 600),
# whichever comes first, from a copy of its seed corpus, one worker each. Prints one line per target: name, executions, seconds, result.
# Leak reports are on; Qt's known JSON leak is suppressed by fuzz/lsan.supp,
# which needs full stacks through Qt (fast_unwind_on_malloc=0, several times
# slower): only the targets whose input reaches Qt's JSON parser get them.
set -u
build=$1
runs=${2:-1000000}
shift $(( $# >= 2 ? 2 : 1 ))
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [ ${#targets[@]} = 0 ]; then
  mapfile -t targets < <(find "$build/bin" -maxdepth 1 -name 'fuzz_*' -type f -executable -printf '%f\n' | sort)
fi
qt_json="fuzz_settings fuzz_network_configuration"
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  src=$(dirname "$(find "$here" -name "fuzz_$name.cpp" | head -n1)")
  seeds="$src/corpus/$name"
  [ -d "$seeds" ] || seeds="$src/corpus"
  work=$(mktemp -d "${TMPDIR:-/tmp}/fuzz-$name.XXXXXX")
  [ -d "$seeds" ] && find "$seeds" -maxdepth 1 -type f -exec cp {} "$work/" \;
  unwind=""
  case " $qt_json " in *" $t "*) unwind=":fast_unwind_on_malloc=0:malloc_context_size=12" ;; esac
  export ASAN_OPTIONS="detect_leaks=1$unwind"
  start=$(date +%s)
  "$build/bin/$t" -runs="$runs" -max_total_time="${MAX_TIME:-600}" -max_len=4096 -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work" >"$work.log" 2>&1
  rc=$?
  secs=$(( $(date +%s) - start ))
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work.log" | grep -o '[0-9]*$')
  if [ $rc = 0 ]; then result=clean; else result="FAILED (log $work.log)"; status=1; fi
  printf '%-28s %10s execs %6ss  %s\n' "$t" "${execs:-?}" "$secs" "$result"
  [ $rc = 0 ] && rm -rf "$work" "$work.log"
done
exit $status
