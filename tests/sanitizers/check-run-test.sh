#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# check-run-test.sh SOURCEDIR
# The test runner fails a test on a sanitizer report from any of its
# processes, a child that exits 0 included, and passes a clean one. A
# report is faked where the sanitizers would write it (their log_path).
set -u
run="$1/scripts/run-test.sh"
fail=0

# A grandchild writes a report the way the sanitizer runtime would
# (<log_path>.<pid>) and everything exits 0.
fake='p=${ASAN_OPTIONS#log_path=}; p=${p%%:*}; sh -c "echo \"ERROR: AddressSanitizer: heap-use-after-free (fake)\" > \"$p.\$\$\""; exit 0'
out=$("$run" -- sh -c "$fake" 2>&1)
rc=$?
if [ $rc = 0 ]; then echo "FAIL: a child's report did not fail the test"; fail=1; fi
case "$out" in *"sanitizer report of process"*"heap-use-after-free (fake)"*) ;; *) echo "FAIL: report not shown: $out"; fail=1 ;; esac

# The test's own failure stays its status.
"$run" -- sh -c 'exit 3' >/dev/null 2>&1
rc=$?
[ $rc = 3 ] || { echo "FAIL: exit status 3 became $rc"; fail=1; }

# Clean runs pass, and every sanitizer has its options and suppressions.
out=$("$run" -- sh -c 'echo "$ASAN_OPTIONS|$LSAN_OPTIONS|$UBSAN_OPTIONS|$TSAN_OPTIONS"' 2>&1)
rc=$?
[ $rc = 0 ] || { echo "FAIL: a clean run failed ($rc)"; fail=1; }
for want in "lsan.supp" "tsan.supp" "log_path="; do
  case "$out" in *"$want"*) ;; *) echo "FAIL: $want missing from the options: $out"; fail=1 ;; esac
done
for f in "$1/tests/sanitizers/tsan.supp" "$1/tests/sanitizers/lsan.supp"; do
  [ -s "$f" ] || { echo "FAIL: $f missing"; fail=1; }
  # Third-party functions only: no whole-library entries.
  if grep -nE '^[a-z_]+:.*\.so' "$f"; then echo "FAIL: whole-library entry in $f"; fail=1; fi
done
[ $fail = 0 ] && echo "run-test: sanitizer reports of every process fail their test"
exit $fail
