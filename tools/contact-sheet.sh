#!/usr/bin/env bash
# Makes one PNG showing every picture of a data directory, in the order the show loads them:
#   tools/contact-sheet.sh [DATA_DIR] [OUT.png]
# Needs ffmpeg. The grid movies (x7, x8) are shown by their first frame.
set -euo pipefail

data=${1:-Data}
out=${2:-contact-sheet.png}
command -v ffmpeg >/dev/null || { echo "contact-sheet: ffmpeg is not installed" >&2; exit 1; }
[ -d "$data" ] || { echo "contact-sheet: no directory $data" >&2; exit 1; }

names=(x1.jpg)
for i in $(seq 2 46); do [ "$i" = 20 ] || names+=("x$i.jpg"); done
for i in $(seq 47 64); do names+=("x$i.JPG"); done
names+=(x65.jpg x66.jpg x26.pcx superBob.jpg)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
index=0
for name in "${names[@]}"; do
    [ -f "$data/$name" ] || { echo "contact-sheet: missing $data/$name" >&2; exit 1; }
    crop=""
    case $name in x7.jpg|x8.jpg) crop="crop=129:97:0:0," ;; esac
    ffmpeg -loglevel error -y -i "$data/$name" \
        -vf "${crop}scale=252:189:force_original_aspect_ratio=decrease:flags=bicubic,pad=256:192:(ow-iw)/2:(oh-ih)/2:color=0x303030" \
        "$work/$(printf %03d $index).png"
    index=$((index + 1))
done
ffmpeg -loglevel error -y -framerate 1 -i "$work/%03d.png" -vf "tile=8x9:color=0x303030" -frames:v 1 "$out"
echo "contact-sheet: $out (${#names[@]} pictures, 8 per row, in loading order)"
