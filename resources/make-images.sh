#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick: the banners (JPEG), the product icon in the
# sizes the window and the desktop need, the update icon and the donate button (PNG).
# The results are checked in; run this again after changing a picture here.
set -euo pipefail
cd "$(dirname "$0")/images"
font=DejaVu-Sans-Bold

# A wave of bars cut by a pair of scissors-like marks: the product icon, drawn at 256 px and
# scaled down for the smaller sizes.
convert -size 256x256 radial-gradient:'#3fb6d9'-'#10406e' \
    \( -size 256x256 xc:none -fill white -draw 'roundrectangle 8,8 247,247 48,48' \) \
    -compose copy_opacity -composite -compose over \
    -fill '#ffffff' -stroke none \
    -draw 'rectangle 44,112 60,144' -draw 'rectangle 72,84 88,172' \
    -draw 'rectangle 100,60 116,196' -draw 'rectangle 140,76 156,180' \
    -draw 'rectangle 168,100 184,156' -draw 'rectangle 196,118 212,138' \
    -fill '#ff8a1f' -draw 'rectangle 124,36 132,220' \
    -draw 'polygon 112,36 144,36 128,56' -draw 'polygon 112,220 144,220 128,200' \
    icon256.png
for size in 128 48 32; do
    convert icon256.png -resize ${size}x${size} icon${size}.png
done

# Banner of the main window (513 x 50) and of the About box (360 x 50): a dark-blue glossy
# strip with a faint wave along its bottom.
banner() {
    local width=$1 out=$2
    convert -size ${width}x50 gradient:'#1c5d8c'-'#0b2440' \
        \( -size ${width}x22 gradient:'#ffffff40'-'#ffffff00' \) -geometry +0+0 -composite \
        -stroke '#2f8fc066' -strokewidth 2 -fill none \
        -draw "path 'M 0,44 C $((width / 4)),30 $((width / 2)),52 $((width * 3 / 4)),40 S $width,34 $width,34'" \
        -quality 92 "$out"
}
banner 513 banner-main.jpg
banner 360 banner-about.jpg

# Update icon (16 x 16): a white circular arrow on the banner's blue.
convert -size 16x16 xc:none -stroke white -strokewidth 2 -fill none \
    -draw 'arc 2,2 13,13 40,320' -stroke none -fill white -draw 'polygon 10,1 15,5 10,8' \
    update16.png

# Donate button (92 x 26): rounded, glossy orange with its caption.
convert -size 92x26 xc:none \
    -fill 'gradient:#ffd27a-#f08a00' -stroke '#b35f00' -draw 'roundrectangle 0,0 91,25 12,12' \
    \( -size 88x11 gradient:'#ffffff90'-'#ffffff10' \) -geometry +2+2 -compose over -composite \
    -font "$font" -pointsize 12 -fill '#3a1f00' -stroke none -gravity center \
    -annotate +0+1 'Donate' donate.png
