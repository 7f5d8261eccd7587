#!/usr/bin/env bash
# The PNG fixtures, made from the other fixtures of this folder with
# ImageMagick 6.9.11 and exiftool 12 (Debian 12). Run from this folder.
set -euo pipefail
rm -f exif.png  # exiftool -o does not overwrite
convert src_rgb.ppm -density 300 -units PixelsPerInch PNG24:rgb8.png
convert src_rgb16.ppm -depth 16 rgb16.png
convert src_gray.pgm gray8.png
convert src_rgb.ppm -colors 16 -type Palette PNG8:pal.png
convert src_gray.pgm -depth 2 PNG:gray2.png
convert src_rgb.ppm -alpha set -channel A -fx 'i/w' +channel PNG32:rgba.png
convert src_rgb16.ppm -alpha set -channel A -fx 'j/h' +channel -depth 16 PNG64:rgba16.png
convert src_rgb.ppm -interlace PNG PNG24:interlaced.png
convert rgb8_icc.tif PNG24:icc.png   # carries the profile of rgb8_icc.tif
exiftool -q -o exif.png -EXIF:Make=Tavelin -EXIF:Artist=Tester rgb8.png
