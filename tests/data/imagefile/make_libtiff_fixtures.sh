#!/usr/bin/env bash
# The TIFF files read through libtiff, made from the other fixtures of this
# folder with libtiff's tools and ImageMagick (Debian 12: libtiff-tools 4.5,
# ImageMagick 6.9.11). Run from this folder.
set -euo pipefail
t=$(mktemp -d); trap 'rm -rf "$t"' EXIT
# a 40 x 24 source, wider than two 16-pixel tiles
convert -size 40x24 xc: -channel R -fx 'i/w' -channel G -fx 'j/h' -channel B -fx '((i+2*j)%5)/4' +channel \
  -depth 8 src_wide.ppm
convert src_wide.ppm -compress none "$t/wide.tif"
tiffcp -c lzw:2 rgb8_ii.tif lzw_pred.tif
tiffcp -c zip:2 rgb16_ii.tif deflate16.tif
tiffcp -c packbits gray_minwhite.tif packbits_minwhite.tif
tiffcp -c zstd cmyk.tif zstd_cmyk.tif
tiffcp -c lzw pal_rgb.tif lzw_pal.tif
tiffcp -c zip lab.tif zip_lab.tif
tiffcp -c lzw gray16.tif lzw_gray16.tif
tiffcp -c zip -p separate -t -w 16 -l 16 "$t/wide.tif" tiles_planar.tif
tiffcp -8 -c lzw rgb8_ii.tif bigtiff.tif
tiffcp rgb8_ii.tif gray_minblack.tif multipage.tif
tiffcp -c jpeg:95 "$t/wide.tif" jpeg_ycbcr.tif
convert src_rgb16.ppm -define quantum:format=floating-point -depth 16 -compress lzw half.tif
convert src_rgb16.ppm -define quantum:format=floating-point -depth 32 -compress zip float32.tif
convert src_rgb.ppm -alpha set -channel A -fx 'i/w' +channel -compress lzw rgba_lzw.tif
convert src_gray.pgm -threshold 50% -type bilevel -compress group4 bilevel_g4.tif
convert src_rgb.ppm -colors 16 -type palette -depth 4 -compress lzw pal4.tif
# resolution 300 with unit "none"
tiffcp rgb8_ii.tif res_none.tif
tiffset -s 282 300 res_none.tif && tiffset -s 283 300 res_none.tif && tiffset -s 296 1 res_none.tif
