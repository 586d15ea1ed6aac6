#!/usr/bin/env bash
# Regenerates Tarvello's application icon: resources/tarvello.png (32x32 RGBA, opaque)
# and resources/tarvello.ico (that single 32x32 32-bpp image), the character 刷 in
# purple-magenta on white, drawn from the Debian font fonts-noto-cjk with ImageMagick.
# Needs: imagemagick, fonts-noto-cjk.  Output is byte-for-byte reproducible.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
png="$here/tarvello.png"
ico="$here/tarvello.ico"

glyph='刷'
colour='#A0208C'
size=32
# 31 pt gives a 30x31 glyph box at 32 px: it fills the square and stays crisp.
pointsize=31

font=''
for f in /usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc \
         /usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc; do
    if [[ -r "$f" ]]; then font="$f"; break; fi
done
if [[ -z "$font" ]]; then
    echo "make_icon.sh: Noto Sans CJK not found; install it: sudo apt-get install fonts-noto-cjk" >&2
    exit 1
fi
for tool in convert identify; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "make_icon.sh: '$tool' not found; install it: sudo apt-get install imagemagick" >&2
        exit 1
    fi
done

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Rasterise the glyph directly at icon size (keeps the font's hinting), cut it to its
# ink box, centre it on a white 32x32 square, and give it a fully opaque alpha channel.
convert -background white -fill "$colour" -font "$font" -pointsize "$pointsize" \
        "label:$glyph" -trim +repage \
        -gravity center -background white -extent "${size}x${size}" \
        -alpha off -alpha set -channel A -evaluate set 100% +channel \
        -strip -define png:exclude-chunks=date,time,tIME,zTXt,tEXt,iTXt \
        "PNG32:$tmp/tarvello.png"

# Windows icon: one 32x32 image with an alpha channel (written as 32 bpp).
convert "$tmp/tarvello.png" -alpha set -strip "ICO:$tmp/tarvello.ico"

# Checks: size, opacity, and the icon's single 32-bpp entry.
geometry="$(identify -format '%w %h' "$tmp/tarvello.png")"
opaque="$(convert "$tmp/tarvello.png" -format '%[opaque]' info:)"
min_alpha="$(convert "$tmp/tarvello.png" -alpha extract -format '%[fx:minima*255]' info:)"
if [[ "$geometry" != "$size $size" || "${opaque,,}" != "true" || "$min_alpha" != "255" ]]; then
    echo "make_icon.sh: unexpected PNG ($geometry, opaque=$opaque, min alpha=$min_alpha)" >&2
    exit 1
fi
# ICONDIR: reserved(2) type(2)=1 count(2)=1; ICONDIRENTRY: w h colours reserved planes(2) bpp(2)
header="$(od -An -tu1 -N14 "$tmp/tarvello.ico" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')"
if [[ "$header" != "0 0 1 0 1 0 32 32 0 0 1 0 32 0" ]]; then
    echo "make_icon.sh: unexpected ICO header: $header" >&2
    exit 1
fi

mv -f "$tmp/tarvello.png" "$png"
mv -f "$tmp/tarvello.ico" "$ico"
echo "wrote $png"
echo "wrote $ico"
