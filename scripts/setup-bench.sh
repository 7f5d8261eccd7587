#!/usr/bin/env bash
# Optional: what bench/autoq.sh, the automatic-correction quality benchmark,
# needs beyond scripts/setup.sh: the photographs (Debian's wallpaper
# packages) and the peer RawTherapee. The test command never runs this.
set -euo pipefail
packages=(plasma-workspace-wallpapers mate-backgrounds rawtherapee imagemagick)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then missing+=("$p"); fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup-bench: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup-bench: done"
