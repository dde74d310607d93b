#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Regenerates the Muli TTF files from the npm registry's @fontsource/muli
# package (WOFF), converting them with woff-to-ttf.py. Needs npm and python3.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
npm pack @fontsource/muli@4.1.0 >/dev/null
tar xzf fontsource-muli-4.1.0.tgz
for pair in 400:Regular 600:SemiBold 300:Light; do
  python3 "$here/woff-to-ttf.py" "package/files/muli-latin-${pair%%:*}-normal.woff" "$here/Muli-${pair##*:}.ttf"
done
