#!/usr/bin/env bash
# The automatic-correction quality benchmark. Run by hand, never by the test
# command:
#
#   scripts/setup.sh --bench      # the photographs and the peer tools (Debian packages)
#   bench/autoq.sh [SCRATCH]      # default scratch folder: /tmp/tavelin-autoq
#
# It makes each photograph below (at most 512 px) into an original, degrades
# it 17 ways in linear light (tavelin-autoq degrade), saves every degraded
# image in one of the formats the program reads (8- and 16-bit TIFF, JPEG,
# BMP; the choice seeded by the image's and the degradation's names), runs
# every tool on the same files, and scores each result by its mean CIEDE2000
# to the original (sRGB -> L*a*b*, D65). The untouched originals, as 16-bit
# TIFF, go through every tool too: what a tool changes there is its harm.
#
# Tools: ours (`tavelin-cli correct --auto=adaptive`, as a user runs it),
# classic (`--auto=classic`), doing nothing, ImageMagick's `-auto-level`,
# `-channel RGB -auto-level` and `-normalize`, a gray-world baseline in
# linear light, and RawTherapee's automatic white balance and automatic
# exposure (`rawtherapee-cli` with bench/autoq/rawtherapee-auto.pp3).
# darktable is not among them: darktable-cli applies the stored parameters of
# its modules, and its automatic detections (the illuminant of color
# calibration, the automatic levels) are computed in the darkroom's preview
# and stored through its window, so the command line has no automatic
# correction to apply.
#
# Photographs: only real photographs (no renders or drawings) from the Debian
# packages plasma-workspace-wallpapers and mate-backgrounds. Tuning used the
# `tune` set only; the goals are judged on the `check` set. Some photographs
# also give a crop of a different scene (a sky, a detail). No photograph of
# people, snow or a true indoor scene is in these packages.
#
# Prints the per-class tables of both sets and the line
#   AUTOQ ours=<mean> best_peer=<mean> (<name>) harm=<mean> improved=<percent>
# Set AUTOQ_ONLY="ours classic" to rerun only those tools (the others' scores
# are kept in the scratch folder).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${AUTOQ_BUILD:-$here/build}"
scratch="${1:-/tmp/tavelin-autoq}"
autoq="$build/tavelin-autoq"
cli="$build/tavelin-cli"
W=/usr/share/wallpapers
M=/usr/share/backgrounds/mate/nature
for tool in "$autoq" "$cli"; do
  [ -x "$tool" ] || { echo "autoq: $tool is missing: build first (cmake --build build)" >&2; exit 1; }
done
[ -d "$W/Path" ] && [ -f "$M/Dune.jpg" ] || { echo "autoq: photographs missing: run scripts/setup.sh --bench" >&2; exit 1; }
"$autoq" selftest

# name  set  source  crop (ImageMagick gravity and size in percent, or "-")
photos=(
  "bythewater   check $W/BytheWater/contents/images/2560x1600.jpg -"
  "coldripple   tune  $W/ColdRipple/contents/images/2560x1600.jpg -"
  "cups         check $W/ColorfulCups/contents/images/2560x1600.jpg -"
  "cups-detail  check $W/ColorfulCups/contents/images/2560x1600.jpg SouthEast:40x45"
  "darkesthour  check $W/DarkestHour/contents/images/2560x1600.jpg -"
  "eveningglow  tune  $W/EveningGlow/contents/images/2560x1600.jpg -"
  "eveningsky   tune  $W/EveningGlow/contents/images/2560x1600.jpg North:60x40"
  "fallenleaf   check $W/FallenLeaf/contents/images/2560x1600.jpg -"
  "leaf-detail  check $W/FallenLeaf/contents/images/2560x1600.jpg East:45x60"
  "grey         tune  $W/Grey/contents/images/2560x1600.jpg -"
  "kite         check $W/Kite/contents/images/2560x1600.jpg -"
  "kite-clouds  check $W/Kite/contents/images/2560x1600.jpg West:35x60"
  "onestandsout tune  $W/OneStandsOut/contents/images/2560x1600.jpg -"
  "path         check $W/Path/contents/images/2560x1600.jpg -"
  "path-trees   check $W/Path/contents/images/2560x1600.jpg NorthEast:40x50"
  "summer1am    tune  $W/summer_1am/contents/images/2560x1600.jpg -"
  "aqua         check $M/Aqua.jpg -"
  "aqua-drop    check $M/Aqua.jpg SouthEast:35x45"
  "blinds       tune  $M/Blinds.jpg -"
  "dune         check $M/Dune.jpg -"
  "dune-grass   check $M/Dune.jpg South:50x50"
  "freshflower  tune  $M/FreshFlower.jpg -"
  "garden       check $M/Garden.jpg -"
  "garden-bloom check $M/Garden.jpg East:45x70"
  "greenmeadow  check $M/GreenMeadow.jpg -"
  "ladybird     tune  $M/LadyBird.jpg -"
  "raindrops    check $M/RainDrops.jpg -"
  "storm        check $M/Storm.jpg -"
  "storm-road   check $M/Storm.jpg South:60x40"
  "twowings     tune  $M/TwoWings.jpg -"
  "wings-detail tune  $M/TwoWings.jpg Center:35x45"
  "wood         check $M/Wood.jpg -"
  "yellowflower check $M/YellowFlower.jpg -"
)

mkdir -p "$scratch"/{orig,deg,in,seen,out,scores}
cd "$scratch"
jobs=$(nproc)

# ---- originals and degraded inputs (made once) ------------------------------------------------
if [ ! -f in/.done ]; then
  echo "autoq: making originals and degraded images in $scratch"
  rm -f orig/* deg/* in/* seen/*
  for p in "${photos[@]}"; do
    read -r name set src crop <<<"$p"
    geometry=()
    if [ "$crop" != "-" ]; then geometry=(-gravity "${crop%%:*}" -crop "${crop#*:}%+0+0" +repage); fi
    convert "$src" "${geometry[@]}" -resize '512x512>' -strip -depth 16 "orig/$name.ppm"
  done
  for p in "${photos[@]}"; do
    read -r name _ <<<"$p"
    echo "$autoq degrade orig/$name.ppm deg/$name"
  done | xargs -P "$jobs" -I{} sh -c '{}'
  # Each degraded image in a format chosen by the hash of its name; the
  # originals as 16-bit TIFF.
  for f in deg/*.ppm; do
    base=$(basename "$f" .ppm)
    case $(( $(printf '%s' "$base" | cksum | cut -d' ' -f1) % 4 )) in
      0) echo "convert $f -type TrueColor -depth 8 -compress none in/$base.tif" ;;
      1) echo "convert $f -type TrueColor -depth 16 -compress none in/$base.tif" ;;
      2) echo "convert $f -type TrueColor -depth 8 -quality 92 in/$base.jpg" ;;
      3) echo "convert $f -type TrueColor -depth 8 BMP3:in/$base.bmp" ;;
    esac
  done | xargs -P "$jobs" -I{} sh -c '{}'
  for p in "${photos[@]}"; do
    read -r name _ <<<"$p"
    echo "convert orig/$name.ppm -type TrueColor -depth 16 -compress none in/${name}__original.tif"
  done | xargs -P "$jobs" -I{} sh -c '{}'
  # What the tools see, decoded once (for doing nothing and the gray world).
  for f in in/*; do
    echo "convert $f -depth 16 seen/$(basename "${f%.*}").ppm"
  done | xargs -P "$jobs" -I{} sh -c '{}'
  touch in/.done
fi

declare -A setOf
for p in "${photos[@]}"; do
  read -r name set _ <<<"$p"
  setOf[$name]=$set
done
declare -A classOf=([original]=original)
while read -r d c; do classOf[$d]=$c; done < <("$autoq" degradations)

# ---- the tools --------------------------------------------------------------------------------
# Each fills out/TOOL/<base>.ppm for every input.
run_tool() {
  local tool=$1 dir="out/$1"
  rm -rf "$dir" && mkdir -p "$dir"
  case $tool in
    none) cp seen/*.ppm "$dir/" ;;
    ours|classic)
      local mode=adaptive
      [ "$tool" = classic ] && mode=classic
      mkdir -p "$dir/tif"
      "$cli" correct --auto="$mode" --out "$dir/tif" --format tiff --naming same --jobs "$jobs" in/* >/dev/null || true
      for f in "$dir"/tif/*; do echo "convert $f -depth 16 $dir/$(basename "${f%.*}").ppm"; done |
        xargs -P "$jobs" -I{} sh -c '{}'
      rm -rf "$dir/tif" ;;
    im-autolevel|im-autolevel-rgb|im-normalize)
      local op="-auto-level"
      [ "$tool" = im-autolevel-rgb ] && op="-channel RGB -auto-level"
      [ "$tool" = im-normalize ] && op="-normalize"
      for f in in/*; do echo "convert $f $op -depth 16 $dir/$(basename "${f%.*}").ppm"; done |
        xargs -P "$jobs" -I{} sh -c '{}' ;;
    grayworld)
      local args=()
      for f in seen/*.ppm; do args+=("$f" "$dir/$(basename "$f")"); done
      "$autoq" grayworld "${args[@]}" ;;
    rawtherapee)
      # RawTherapee reads no BMP: those inputs go to it as TIFF, the same pixels.
      mkdir -p "$dir/tif" "$dir/in"
      for f in in/*; do
        case $f in
          *.bmp) echo "convert $f -type TrueColor -depth 8 -compress none $dir/in/$(basename "${f%.*}").tif" ;;
          *) ln -s "$PWD/$f" "$dir/in/" ;;
        esac
      done | xargs -P "$jobs" -I{} sh -c '{}'
      rawtherapee-cli -q -Y -o "$dir/tif" -p "$here/bench/autoq/rawtherapee-auto.pp3" -t -b16 -c "$dir"/in/* >/dev/null 2>&1 || true
      rm -rf "$dir/in"
      for f in "$dir"/tif/*.tif; do echo "convert $f -depth 16 $dir/$(basename "${f%.*}").ppm"; done |
        xargs -P "$jobs" -I{} sh -c '{}'
      rm -rf "$dir/tif" ;;
  esac
}

tools=(ours classic none im-autolevel im-autolevel-rgb im-normalize grayworld)
command -v rawtherapee-cli >/dev/null && tools+=(rawtherapee)
only="${AUTOQ_ONLY:-}"
for tool in "${tools[@]}"; do
  if [ -n "$only" ] && [[ " $only " != *" $tool "* ]] && [ -f "scores/$tool.tsv" ]; then continue; fi
  echo "autoq: $tool"
  run_tool "$tool"
  : > "scores/$tool.list"
  for f in in/*; do
    base=$(basename "${f%.*}")
    image=${base%%__*} deg=${base#*__}
    echo "$tool ${setOf[$image]} ${classOf[$deg]} $image $deg orig/$image.ppm out/$tool/$base.ppm" >> "scores/$tool.list"
  done
  "$autoq" score "scores/$tool.list" > "scores/$tool.tsv"
done

scores=()
for tool in "${tools[@]}"; do scores+=("scores/$tool.tsv"); done
"$autoq" report "${scores[@]}" || true
