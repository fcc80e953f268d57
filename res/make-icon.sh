#!/usr/bin/env bash
# Draws the program's icon (32 x 32 and 16 x 16, 16 colours): a slide with a
# play mark above a film strip. Run again after changing the picture.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 32x32 xc:none \
  -fill '#1f5fa8' -draw 'roundrectangle 1,3 30,24 2,2' \
  -fill white -draw 'rectangle 4,6 27,21' \
  -fill '#1f5fa8' -draw 'rectangle 6,8 16,9' \
  -fill '#7f9fc8' -draw 'rectangle 6,12 14,12' -draw 'rectangle 6,15 14,15' -draw 'rectangle 6,18 12,18' \
  -fill '#e0402a' -draw 'polygon 18,10 18,20 26,15' \
  -fill '#303030' -draw 'rectangle 1,26 30,31' \
  -fill '#d0d0d0' -draw 'rectangle 3,28 5,29' -draw 'rectangle 9,28 11,29' \
  -draw 'rectangle 15,28 17,29' -draw 'rectangle 21,28 23,29' -draw 'rectangle 27,28 29,29' \
  -colors 16 PNG8:kavreto.png
convert kavreto.png -filter point -resize 16x16 -colors 16 PNG8:kavreto16.png
# The larger sizes come from the hand-drawn kavreto.svg (same grid, same colours).
for size in 48 128 256; do
  rsvg-convert -w "$size" -h "$size" kavreto.svg -o "kavreto$size.png"
done
