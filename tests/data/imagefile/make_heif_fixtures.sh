#!/usr/bin/env bash
# The HEIC and AVIF fixtures, made from the other fixtures of this folder
# with heif-enc of libheif 1.15 (x265 and aom encoders), ImageMagick 6.9.11
# and exiftool 12 (Debian 12). The *.pam files are heif-convert's own decode
# (through a 16-bit PNG for the 10-bit file). Run from this folder.
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert src_wide.ppm "$tmp/src.png"
convert src_wide.ppm -depth 16 -evaluate multiply 0.9 PNG48:"$tmp/src16.png"
convert rgba.png "$tmp/rgba.png"
heif-enc -q 90 -o rgb8.heic "$tmp/src.png" >/dev/null
heif-enc -A -q 90 -o rgb8.avif "$tmp/src.png" >/dev/null
heif-enc -A -L -p chroma=444 --matrix_coefficients 0 -o lossless.avif "$tmp/src.png" >/dev/null
# 10 bits with x265: aom 3.6 aborts on 10-bit input here
heif-enc -b 10 -q 90 -o rgb10.heic "$tmp/src16.png" >/dev/null
heif-enc -A -q 90 -o alpha.avif "$tmp/rgba.png" >/dev/null
# BT.2020 primaries with the BT.709 transfer in the nclx box (heif-enc 1.15
# ignores its nclx options: the box of rgb8.avif is patched)
python3 - <<'PY'
b = bytearray(open("rgb8.avif", "rb").read())
at = b.index(b"colrnclx") + 8
b[at:at + 4] = bytes([0, 9, 0, 1])
open("bt2020.avif", "wb").write(b)
PY
# turned a quarter anticlockwise: the last property of rgb8.heic (its pixi
# box, which libheif does not need) becomes an irot box of the same size
python3 - <<'PY'
b = bytearray(open("rgb8.heic", "rb").read())
at = b.index(b"pixi")
b[at:at + 12] = b"irot" + bytes([1]) + bytes(7)
open("rot90.heic", "wb").write(b)
PY
# an ICC profile (that of rgb8_icc.tif) and EXIF data
convert rgb8_icc.tif "$tmp/icc.png"
heif-enc -q 90 -o icc.heic "$tmp/icc.png" >/dev/null
cp rgb8.heic exif.heic
exiftool -q -overwrite_original -EXIF:Make=Tavelin -EXIF:Artist=Tester -XMP:Title=Harbour exif.heic
for f in rgb8.heic rgb8.avif alpha.avif rot90.heic; do heif-convert -q 100 "$f" "$tmp/out.png" >/dev/null && convert "$tmp/out.png" -background white -flatten -alpha off "$f.pam"; done
heif-convert rgb10.heic "$tmp/out16.png" >/dev/null && convert "$tmp/out16.png" -depth 16 rgb10.heic.pam
