#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# build-cross.sh BINDIR
# Builds the mingw-w64 project in BINDIR. A Windows-only compile error or
# warning must not stop the Linux build: it is kept in BINDIR/build-failed,
# and the Wine tests fail with it instead.
set -u
bin=$1
rm -f "$bin/build-failed"
if cmake --build "$bin" -j2 >"$bin/build.log" 2>&1; then
  grep -E '^\[[ 0-9]+%\] (Built|Linking)' "$bin/build.log" || true
else
  cp "$bin/build.log" "$bin/build-failed"
  rm -f "$bin"/*.exe
  echo "warning: the Windows backends did not build with mingw-w64; the wine tests will fail."
  tail -n 30 "$bin/build-failed"
fi
exit 0
