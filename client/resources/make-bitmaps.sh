#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the bitmaps of the window description from SVG: the animated
# loaders, drawn frame by frame, and the combo box arrow Qt's style sheet
# wants as a PNG.
# GIF knows only on/off transparency, so every frame is drawn over the colour
# the loader stands on there and cut out where it is almost transparent:
# smooth edges without a halo. Needs rsvg-convert (librsvg2-bin) and
# ImageMagick's convert. The bitmaps are kept in the tree; run this after
# changing a loader, the background under it, or the arrow.
#
#   make-loaders.sh [OUTPUT_DIR]   (default: the resources folder)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# spinner SIZE ANGLE: a faint ring with an accent arc of a quarter turn.
spinner() {
    local size=$1 angle=$2
    cat <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="$size" height="$size" viewBox="0 0 32 32">
  <circle cx="16" cy="16" r="12" fill="none" stroke="#ffffff" stroke-opacity="0.14" stroke-width="3.2"/>
  <path d="M16 4 A12 12 0 0 1 28 16" fill="none" stroke="#fe4f00" stroke-width="3.2" stroke-linecap="round"
        transform="rotate($angle 16 16)"/>
</svg>
SVG
}

# pulse SIZE OPACITY: the breathing ring shown around the paused button's icon.
pulse() {
    local size=$1 opacity=$2
    cat <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="$size" height="$size" viewBox="0 0 40 40">
  <circle cx="20" cy="20" r="15.5" fill="none" stroke="#fe4f00" stroke-opacity="$opacity" stroke-width="2.2"/>
</svg>
SVG
}

# gif NAME SIZE BACKGROUND DELAY(1/100 s) FRAMES GENERATOR PARAMETER-OF-FRAME
gif() {
    local name=$1 size=$2 background=$3 delay=$4 frames=$5 generator=$6 parameter=$7
    local dir=$work/$(basename "$name" .gif)
    mkdir -p "$dir"
    for ((i = 0; i < frames; i++)); do
        local value
        value=$(awk -v i="$i" -v n="$frames" "BEGIN { $parameter }")
        "$generator" "$size" "$value" > "$dir/f.svg"
        rsvg-convert -w "$size" -h "$size" "$dir/f.svg" -o "$dir/raw.png"
        convert "$dir/raw.png" -background "$background" -flatten "$dir/flat.png"
        convert "$dir/raw.png" -alpha extract -threshold 6% "$dir/mask.png"
        convert "$dir/flat.png" "$dir/mask.png" -alpha off -compose CopyOpacity -composite \
            "$dir/$(printf 'frame%03d.png' "$i")"
    done
    mkdir -p "$(dirname "$out/$name")"
    convert -delay "$delay" -loop 0 -dispose Background +dither "$dir"/frame*.png "$out/$name"
    echo "$out/$name: $frames frames of ${size}x${size}"
}

spin='printf "%.1f", i * 360 / n'
breathe='printf "%.3f", 0.15 + 0.75 * (0.5 - 0.5 * cos(2 * 3.14159265 * i / n))'

# Twice the size they are shown at 96 DPI: the window framework decodes the
# frames at the label's size with smooth scaling, crisp at every factor.
# Backgrounds as the windows' artwork draws them where each loader stands.
gif asset_loader.gif 64 '#1e232c' 4 24 spinner "$spin"                 # code and session windows, 32 px
gif asset_download_loader.gif 96 '#1d222a' 4 24 spinner "$spin"        # update download view, 48 px
gif Advanced/loader_flux.gif 80 '#2c3340' 4 24 spinner "$spin"         # inside the starting stream button, 40 px
gif Advanced/pause_anim.gif 80 '#3b2c2a' 6 20 pulse "$breathe"         # around the paused stream button's icon, 40 px

rsvg-convert -w 12 -h 8 "$here/combobox-arrow.svg" -o "$out/combobox-arrow.png"
echo "$out/combobox-arrow.png"
