#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Regenerates client.ico (16 to 256 px) from logo.svg.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sizes=(16 24 32 48 64 128 256)
for s in "${sizes[@]}"; do rsvg-convert -w "$s" -h "$s" logo.svg -o "$tmp/$s.png"; done
pngs=()
for s in "${sizes[@]}"; do pngs+=("$tmp/$s.png"); done
convert "${pngs[@]}" ../client.ico
