#!/usr/bin/env bash
# The WebP fixtures, made from the other fixtures of this folder with the
# webp tools 1.2.4 (cwebp, dwebp, img2webp, webpmux) and exiftool 12 (Debian
# 12). The *.webp.pam files are dwebp's own decode of each file. Run from this
# folder.
set -euo pipefail
cwebp -quiet -lossless src_rgb.ppm -o lossless.webp
cwebp -quiet -q 80 src_rgb.ppm -o lossy.webp
cwebp -quiet -lossless -exact rgba.png -o alpha.webp
convert rgb8_icc.tif icc.icc
webpmux -set icc icc.icc lossless.webp -o icc.webp
rm -f icc.icc
cp lossy.webp exif.webp
exiftool -q -overwrite_original -EXIF:Make=Tavelin -EXIF:Artist=Tester -XMP:Title=Harbour exif.webp
convert src_rgb.ppm -negate neg.ppm
img2webp -loop 0 -lossless -d 100 src_rgb.ppm neg.ppm -o anim.webp
rm -f neg.ppm
for f in lossless lossy alpha; do dwebp -quiet -pam $f.webp -o $f.webp.pam; done
