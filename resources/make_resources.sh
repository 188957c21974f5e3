#!/usr/bin/env bash
# Regenerates the embedded resources. Needs fonts-dejavu-core, python3-fonttools and imagemagick.
set -euo pipefail
cd "$(dirname "$0")"

# Timecode face: DejaVu Sans Mono Bold, cut down to what the display shows.
/usr/bin/python3 -m fontTools.subset /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf \
    --text="0123456789:.- " --output-file=timecode.ttf --no-hinting --desubroutinize
cp /usr/share/doc/fonts-dejavu-core/copyright timecode-font-LICENSE.txt

# Logo, 77 x 77 RGBA: a rounded slate tile with a white "Q" and a small timecode tick row.
convert -size 77x77 xc:none \
    -fill '#2b6f8f' -draw 'roundrectangle 4,4 72,72 12,12' \
    -fill white -font DejaVu-Sans-Bold -pointsize 46 -gravity center -annotate +0-4 'Q' \
    -fill '#f2c14e' -draw 'rectangle 16,60 22,64 rectangle 28,60 34,64 rectangle 40,60 46,64 rectangle 52,60 58,64' \
    -define png:color-type=6 PNG32:logo.png

# Emblem, 750 x 750 RGBA: the same tile, large, with the product name below the letter.
convert -size 750x750 xc:none \
    -fill '#2b6f8f' -draw 'roundrectangle 30,30 720,720 110,110' \
    -fill white -font DejaVu-Sans-Bold -pointsize 420 -gravity center -annotate +0-70 'Q' \
    -fill '#f2c14e' -font DejaVu-Sans-Bold -pointsize 74 -gravity center -annotate +0+250 'QUILLBANK' \
    -define png:color-type=6 PNG32:emblem.png
