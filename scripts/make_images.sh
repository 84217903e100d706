#!/usr/bin/env bash
# Draws the editor's pictures into resources/images/ with ImageMagick and the
# Liberation fonts (Debian: imagemagick, fonts-liberation). The output is
# byte-for-byte reproducible for a given ImageMagick version: no time stamps,
# no text chunks, fixed fonts.
#
# Every picture is drawn for a display scale of 2 (its logical size in the
# editor is half its pixel size) on the panel grey (50, 50, 50) and is opaque.
# Shapes are drawn 8 times larger and reduced with a box filter, which gives
# clean anti-aliased edges made of blends of the two colours only.
#
#   logo.png    151 x 45, palette   the product name "Riser" in orange
#   gear.png     34 x 68, palette   gear icon, two 34 x 34 frames: at rest (mid
#                                   grey), pressed (light grey)
#   back.png     28 x 52, RGB       left-pointing triangle, two 28 x 26 frames:
#                                   at rest (154), pressed (196)
#   vendor.png  256 x 244, RGB      vendor logo of Corvid Signal LLC
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/resources/images}
fonts=/usr/share/fonts/truetype/liberation
bold=$fonts/LiberationSans-Bold.ttf
regular=$fonts/LiberationSans-Regular.ttf

command -v convert >/dev/null || { echo "make_images: ImageMagick's convert is missing" >&2; exit 1; }
[ -f "$bold" ] && [ -f "$regular" ] || { echo "make_images: fonts-liberation is missing" >&2; exit 1; }
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

panel='rgb(50,50,50)'
orange='rgb(229,162,94)'
png_opts=(-strip -define png:exclude-chunks=date,time,tIME,tEXt,zTXt,iTXt,gAMA,cHRM,sRGB,bKGD)

# Points of a regular gear outline centred at (c, c): n teeth between the
# root radius r and the tip radius t (all in pixels of the 8x canvas).
gear_points() {  # c n r t
  awk -v c="$1" -v n="$2" -v r="$3" -v t="$4" 'BEGIN {
    pi = atan2(0, -1); step = 2 * pi / n; s = ""
    for (i = 0; i < n; i++) {
      a = i * step
      split("-0.30 -0.19 0.19 0.30 0.5", f, " ")
      rad[1] = r; rad[2] = t; rad[3] = t; rad[4] = r; rad[5] = r
      for (k = 1; k <= 5; k++) {
        x = c + rad[k] * cos(a + f[k] * step); y = c + rad[k] * sin(a + f[k] * step)
        s = s sprintf(" %.2f,%.2f", x, y)
      }
    }
    print s
  }'
}

# One 34 x 34 gear frame in grey level $1.
gear_frame() {  # grey file
  local fg="rgb($1,$1,$1)"
  convert -size 272x272 "xc:$panel" -fill "$fg" -stroke none \
    -draw "polygon $(gear_points 136 8 88 122)" \
    -fill "$panel" -draw "circle 136,136 136,172" \
    -filter box -resize 34x34 "$2"
}

# One 28 x 26 frame with a left-pointing triangle in grey level $1.
back_frame() {  # grey file
  convert -size 224x208 "xc:$panel" -fill "rgb($1,$1,$1)" -stroke none \
    -draw "polygon 56,104 160,40 160,168" \
    -filter box -resize 28x26 "$2"
}

# Product name logo: "Riser" centred, orange on the panel grey.
convert -size 1208x360 "xc:$panel" -font "$bold" -pointsize 232 -fill "$orange" \
  -gravity center -annotate +0+8 'Riser' \
  -filter box -resize 151x45 "$tmp/logo.png"
convert "$tmp/logo.png" -alpha off "${png_opts[@]}" "PNG8:$out/logo.png"

gear_frame 154 "$tmp/gear0.png"
gear_frame 195 "$tmp/gear1.png"
convert "$tmp/gear0.png" "$tmp/gear1.png" -append -alpha off "${png_opts[@]}" "PNG8:$out/gear.png"

back_frame 154 "$tmp/back0.png"
back_frame 196 "$tmp/back1.png"
convert "$tmp/back0.png" "$tmp/back1.png" -append -alpha off "${png_opts[@]}" "PNG24:$out/back.png"

# Vendor logo: a ring holding one period of a signal trace, the company name
# below it.
wave=$(awk 'BEGIN {
  pi = atan2(0, -1); s = ""
  for (i = 0; i <= 64; i++) {
    x = 664 + i * 720 / 64
    y = 672 - 224 * sin(2 * pi * i / 64) * exp(-1.2 * i / 64)
    s = s sprintf(" %.2f,%.2f", x, y)
  }
  print s
}')
convert -size 2048x1952 "xc:$panel" \
  -fill none -stroke 'rgb(200,200,200)' -strokewidth 40 -draw "circle 1024,672 1024,1112" \
  -stroke "$orange" -strokewidth 48 -draw "polyline $wave" \
  -stroke none -fill 'rgb(200,200,200)' -font "$bold" -pointsize 216 \
  -gravity north -annotate +0+1248 'Corvid Signal' \
  -font "$regular" -pointsize 168 -fill "$orange" -annotate +0+1560 'LLC' \
  -filter box -resize 256x244 "$tmp/vendor.png"
convert "$tmp/vendor.png" -alpha off "${png_opts[@]}" "PNG24:$out/vendor.png"

for f in logo gear back vendor; do
  identify -format "%f %wx%h %[type] %B bytes\n" "$out/$f.png"
done
