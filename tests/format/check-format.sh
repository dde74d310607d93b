#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# check-format.sh SOURCE_DIR
# Every C++ file of the tree must already be as the repository's
# .clang-format writes it; the files that are not are listed.
set -eu
root=$1
cd "$root"
command -v clang-format >/dev/null || { echo "clang-format is missing (scripts/install-deps.sh)"; exit 1; }
files=$(find client streaming tools tests fuzz bench -name '*.cpp' -o -name '*.h' | grep -v '^tests/wine/cross/' | sort)
off=()
for f in $files; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || off+=("$f")
done
if [ ${#off[@]} -gt 0 ]; then
  echo "not formatted (clang-format -i these):"
  printf '  %s\n' "${off[@]}"
  exit 1
fi
echo "$(echo "$files" | wc -l) files formatted"
