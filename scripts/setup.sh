#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the
# application need. Idempotent: runs apt-get update only when something is
# missing, and prints nothing when everything is present.
#
# scripts/setup.sh --bench also installs what the automatic-correction
# quality benchmark (bench/autoq.sh) needs: the photographs of Debian's
# wallpaper packages and the peer RawTherapee. The test command never asks
# for them.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6opengl6-dev libgl-dev fonts-dejavu-core
  libxcb1-dev  # the monitor profile on X11 (_ICC_PROFILE of the root window)
  liblcms2-dev liblcms2-utils
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libssl-dev  # libcrypto: the SHA-256 of the outputs in the command line's report
  parallel  # the sharding recipes and their test
  libtiff-dev  # compressed, tiled, BigTIFF and float TIFF files
  libpng-dev
  libexiv2-dev  # XMP, IPTC and the EXIF of TIFF files carried from input to output
  libwebp-dev libheif-dev libraw-dev  # WebP, HEIC/AVIF and camera raw files
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  clang libclang-rt-dev
  xvfb xauth
  appstream  # appstreamcli validates the installed metainfo
  libtiff-tools imagemagick libvips-tools libimage-exiftool-perl
  ghostscript libgs-common  # libgs-common: default_cmyk.icc, the default profile of CMYK inputs
  webp  # dwebp reads back the WebP files the tests write
  rawtran-doc  # a real camera's CR2 file the camera raw test reads when present
  # photographs the Brivio fixtures were made from (tests/data/README.md)
)

if [ "${1:-}" = "--bench" ]; then
  packages+=(plasma-workspace-wallpapers mate-backgrounds rawtherapee)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
