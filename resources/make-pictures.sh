#!/usr/bin/env bash
# Draws the pictures built into the program with ImageMagick. The results are
# committed beside this script, so a build never needs ImageMagick's fonts;
# run it again only to change a picture. The output is the same on every run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
font=DejaVu-Sans-Bold

# 141 x 130, grey, two lines of text: the waiting and the no-image pictures.
panel() {
    local text=$1 colour=$2 out=$3
    convert -size 141x130 xc:'#C0C0C0' \
        -font "$font" -pointsize 20 -fill "$colour" -gravity center \
        -interline-spacing 4 -annotate +0+0 "$text" \
        -type TrueColor +repage -strip "$here/$out"
}
panel $'PLEASE\nWAIT' '#E00000' wait.gif
panel $'No\nImage' '#505050' noimage.gif

# The window icon: a gold ring with a stone, 64 x 64 on a clear background.
convert -size 64x64 xc:none \
    -stroke '#B8860B' -strokewidth 7 -fill none -draw 'circle 32,38 32,17' \
    -stroke '#1E5AA8' -strokewidth 1 -fill '#7EC8F0' \
    -draw 'polygon 22,14 42,14 48,7 16,7' -draw 'polygon 16,7 48,7 32,1' \
    -draw 'polygon 22,14 42,14 32,24' \
    -depth 8 -strip -define png:exclude-chunks=date,time "$here/framla.png"
