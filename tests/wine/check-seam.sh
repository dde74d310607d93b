#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# check-seam.sh SOURCEDIR
# Windows conditionals live only in the Windows backends (*_win.cpp) and the
# seam headers; the backends and the seam headers use no Qt.
set -u
root=$1
cd "$root" || exit 2
status=0
# Headers named *_linux.h serve only the Linux backends.
seam_headers=()
for h in client/platform/*.h streaming/platform/*.h; do
  case "$h" in *_linux.h) ;; *) seam_headers+=("$h") ;; esac
done
sources=$(git ls-files -co --exclude-standard -- '*.cpp' '*.h' '*.hpp' '*.cc' 2>/dev/null ||
  find client streaming tools tests bench fuzz -name '*.cpp' -o -name '*.h')

while IFS= read -r f; do
  [ -f "$f" ] || continue
  case "$f" in
    *_win.cpp | tests/wine/cross/*) continue ;;
  esac
  allowed=0
  for h in "${seam_headers[@]}"; do [ "$f" = "$h" ] && allowed=1; done
  [ $allowed = 1 ] && continue
  if hits=$(grep -nE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*(_WIN32|_WIN64|Q_OS_WIN|__MINGW|_MSC_VER)' "$f"); then
    echo "$f: Windows conditional outside the platform seam:"
    echo "$hits"
    status=1
  fi
done <<<"$sources"

win_sources=$(grep -E '_win\.cpp$' <<<"$sources")
for f in $win_sources "${seam_headers[@]}"; do
  [ -f "$f" ] || continue
  if hits=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]Q[A-Za-z]*[>"/]|\bQ(String|ByteArray|Rect|Image|List|Map|Vector)\b' "$f"); then
    echo "$f: Qt in a Windows backend or seam header:"
    echo "$hits"
    status=1
  fi
done
[ $status = 0 ] && echo "platform seam: no Windows conditionals elsewhere, no Qt in the Windows backends"
exit $status
