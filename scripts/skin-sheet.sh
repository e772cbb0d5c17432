#!/usr/bin/env bash
# Writes one contact sheet of the built skin for review: every image at its real size on a light
# and on a dark background (as on light and dark desktop themes), and at four times its size,
# pixel for pixel, over a checkerboard that shows its transparent parts.
# Usage: scripts/skin-sheet.sh [BUILD_DIR] [OUTPUT]   (defaults: build, BUILD_DIR/skin-sheet.png)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
skin=$(realpath "$build/Parlo.skin" 2>/dev/null || true)
if [ -z "$skin" ] || [ ! -f "$skin" ]; then
    echo "skin-sheet.sh: $build/Parlo.skin not found; build first (cmake --build $build)" >&2
    exit 1
fi
out=$(realpath -m "${2:-$build/skin-sheet.png}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/images" "$work/rows"
(cd "$work/images" && cmake -E tar xf "$skin")

light='#F4F5F7'
dark='#2B2B2B'
index=0
# The archive's own order: the order in which the store reads them.
while read -r entry; do
    image=$work/images/$entry
    name=${entry%.*}
    size=$(identify -format '%wx%h' "$image")
    w=${size%x*}
    h=${size#*x}
    row=$work/rows/$(printf '%02d' "$index").png
    convert "$image" -background "$light" -flatten -bordercolor "$light" -border 8 "$work/light.png"
    convert "$image" -background "$dark" -flatten -bordercolor "$dark" -border 8 "$work/dark.png"
    convert -size "$((w * 4))x$((h * 4))" tile:pattern:checkerboard \
        \( "$image" -scale 400% \) -composite -bordercolor white -border 8 "$work/big.png"
    convert "$work/light.png" "$work/dark.png" "$work/big.png" -background white -gravity center \
        -splice 8x0 +append "$work/strip.png"
    montage -label "$name  ${w}x${h}" "$work/strip.png" -geometry +4+4 -pointsize 13 \
        -background white "$row"
    index=$((index + 1))
done < <(cmake -E tar tf "$skin")

convert "$work"/rows/*.png -background white -gravity west -append -bordercolor white -border 8 "$out"
echo "$out"
