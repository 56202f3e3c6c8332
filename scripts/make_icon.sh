#!/usr/bin/env bash
# Draws the program's icon (two sheets, the front one with lines added and
# taken away, on a blue tile) and writes app/quorvel.ico at 256, 48, 32 and
# 16 pixels. The icon is kept in the repository; run this only to change it.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
    \( -size 240x240 gradient:'#4d94dc-#1d4e8a' \
       \( -size 240x240 xc:none -fill white -draw "roundrectangle 0,0 239,239 44,44" \) \
       -compose CopyOpacity -composite \) -geometry +8+8 -compose Over -composite \
    -fill '#cfdcea' -draw "roundrectangle 44,36 164,186 12,12" \
    -fill white -draw "roundrectangle 84,70 212,222 12,12" \
    -fill '#2f9e44' -draw "roundrectangle 102,96 194,116 4,4" \
    -fill '#a3b1c0' -draw "roundrectangle 102,130 176,146 4,4" \
    -fill '#e03131' -draw "roundrectangle 102,160 186,180 4,4" \
    -fill '#a3b1c0' -draw "roundrectangle 102,194 160,208 4,4" \
    "$work/icon.png"
convert "$work/icon.png" -depth 8 -define icon:auto-resize=256,48,32,16 app/quorvel.ico
echo "wrote app/quorvel.ico"
