#!/usr/bin/env bash
# The command line at scale, by hand (needs GNU parallel, libvips' vips and
# GNU time from scripts/setup.sh):
#   FIRST_OUTPUT_S cli_200_images     seconds until the first output line of a 200-image run
#   RATIO two_shards_vs_one           one process over 200 photographs / two shards side by side
#   RATIO two_shards_gnu_parallel_vs_one   the same with the shards started by GNU parallel
#   PEAK_MB cli_20_images, cli_2000_images   peak resident size of a whole run
#   bench/cli_scale.sh [BUILD_DIR] [LARGE_COUNT]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cli=$(cd "${1:-$here/build}" && pwd)/tavelin-cli
large=${2:-2000}
work=$(mktemp -d /tmp/tavelin-clibench-XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state

# Small images (about 240 × 150) from the sample photographs.
mkdir -p "$work/src"
n=0
for s in "$here"/samples/*.jpg; do
  vips resize "$s" "$work/src/s$n.jpg" 0.2 >/dev/null
  n=$((n + 1))
done
make_set() {  # make_set DIR COUNT
  mkdir -p "$1"
  for i in $(seq 0 $(($2 - 1))); do cp "$work/src/s$((i % n)).jpg" "$1/img$i.jpg"; done
}
now() { date +%s.%N; }

make_set "$work/in200" 200
mkdir -p "$work/o1"
start=$(now)
first=$("$cli" correct -j 2 -o "$work/o1" "$work/in200" -r | { read -r _; now; cat >/dev/null; })
echo "FIRST_OUTPUT_S cli_200_images $(echo "$first - $start" | bc -l | xargs printf '%.2f')"

# Throughput of shards: 200 photographs at their own size (1200 x 750), one
# run against two shards side by side, each with one job, started as a
# scheduler starts them (two processes), and through GNU parallel (whose own
# start, about 0.25 s here, counts in that line).
mkdir -p "$work/full200"
for i in $(seq 0 199); do
  s=$(ls "$here"/samples/*.jpg | sed -n "$((i % n + 1))p")
  cp "$s" "$work/full200/img$i.jpg"
done
rm -rf "$work/o1" "$work/o2" "$work/o3"; mkdir -p "$work/o1" "$work/o2" "$work/o3"
start=$(now)
"$cli" correct -q -j 1 -r -o "$work/o1" "$work/full200"
one=$(echo "$(now) - $start" | bc -l)
start=$(now)
"$cli" correct -q -j 1 -r --shard 0/2 -o "$work/o2" "$work/full200" &
"$cli" correct -q -j 1 -r --shard 1/2 -o "$work/o2" "$work/full200" &
wait
two=$(echo "$(now) - $start" | bc -l)
start=$(now)
parallel -j 2 "$cli" correct -q -j 1 -r --shard {}/2 -o "$work/o3" "$work/full200" ::: 0 1
gnu=$(echo "$(now) - $start" | bc -l)
for o in o2 o3; do
  diff -r "$work/o1" "$work/$o" >/dev/null || { echo "the shards' outputs differ from one run's" >&2; exit 1; }
done
echo "RATIO two_shards_vs_one $(echo "$one / $two" | bc -l | xargs printf '%.2f')"
echo "RATIO two_shards_gnu_parallel_vs_one $(echo "$one / $gnu" | bc -l | xargs printf '%.2f')"

for count in 20 "$large"; do
  make_set "$work/in$count" "$count"
  rm -rf "$work/o$count"; mkdir -p "$work/o$count"
  kb=$(/usr/bin/time -f %M "$cli" correct -q -r -o "$work/o$count" "$work/in$count" 2>&1 >/dev/null | tail -1)
  echo "PEAK_MB cli_${count}_images $(echo "$kb / 1024" | bc -l | xargs printf '%.1f')"
done
