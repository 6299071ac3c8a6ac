#!/usr/bin/env bash
# Draws resources/certificate.png: the 32 x 32 icon of the certificate dialog's
# header band, a sheet with text lines and a red seal with two ribbons, on a
# transparent background. Needs ImageMagick; run it again after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 32x32 xc:none \
    -fill '#b8c4d6' -stroke none -draw 'roundrectangle 3,4 29,25 2,2' \
    -fill '#fdfbf3' -stroke '#6d7d96' -strokewidth 1 -draw 'roundrectangle 2,3 28,24 2,2' \
    -stroke '#2d5fb4' -strokewidth 1 -draw 'line 6,8 24,8' \
    -stroke '#9aa6b8' -draw 'line 6,11 24,11' -draw 'line 6,14 19,14' -draw 'line 6,17 15,17' \
    -stroke none -fill '#b01e23' -draw 'polygon 19,22 17,30 20,28 22,30 22,22' \
    -fill '#d2383d' -draw 'polygon 23,22 23,30 25,28 27,30 26,22' \
    -fill '#c8292e' -stroke '#7c1014' -strokewidth 1 -draw 'circle 22.5,20.5 22.5,15.5' \
    -fill '#f0c24a' -stroke none -draw 'circle 22.5,20.5 22.5,18' \
    -strip -define png:exclude-chunks=date,time PNG32:certificate.png
