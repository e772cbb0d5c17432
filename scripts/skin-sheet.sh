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
# The content panel is drawn over the pop-up's own blue, so that is its backdrop when enlarged.
panel='rgb(99,150,255)'
# A light, fine checkerboard: grey icons must stay visible on it.
convert -size 16x16 xc:white -fill '#E2E4E8' -draw 'rectangle 0,0 7,7' -draw 'rectangle 8,8 15,15' \
    "$work/checker.png"
index=0
# The archive's own order: the order in which the store reads them.
while read -r entry; do
    image=$work/images/$entry
    name=${entry%.*}
    size=$(identify -format '%wx%h' "$image")
    w=${size%x*}
    h=${size#*x}
    if [ "$name" = PopupDialog_contentPanel ]; then
        backdrop=(-size "$((w * 4))x$((h * 4))" "xc:$panel")
    else
        backdrop=(-size "$((w * 4))x$((h * 4))" "tile:$work/checker.png")
    fi
    convert -size 330x40 xc:white -fill black -pointsize 14 -annotate +8+18 "$name" \
        -fill '#555555' -pointsize 12 -annotate +8+35 "${w} x ${h}" "$work/label.png"
    convert "$image" -background "$light" -flatten -bordercolor "$light" -border 8 \
        -bordercolor white -border 6 "$work/light.png"
    convert "$image" -background "$dark" -flatten -bordercolor "$dark" -border 8 \
        -bordercolor white -border 6 "$work/dark.png"
    convert "${backdrop[@]}" \( "$image" -scale 400% \) -composite \
        -bordercolor white -border 6 "$work/big.png"
    convert "$work/label.png" "$work/light.png" "$work/dark.png" "$work/big.png" \
        -background white -gravity north +append -bordercolor white -border 4 \
        "$work/rows/$(printf '%02d' "$index").png"
    index=$((index + 1))
done < <(cmake -E tar tf "$skin")

convert "$work"/rows/*.png -background white -gravity west -append +repage -depth 8 \
    -bordercolor white -border 8 "$out"
echo "$out"
