#!/usr/bin/env bash
# Corrects every image under IN into OUT with SHARDS shares side by side on
# this machine (each share one process, --jobs 1), keeping the folder tree.
#   deploy/parallel-local.sh IN OUT [SHARDS]
set -euo pipefail
in=$1 out=$2 shards=${3:-$(nproc)}
mkdir -p "$out"
cd "$in"
seq 0 $((shards - 1)) |
  parallel --halt never --line-buffer -j "$shards" \
    tavelin-cli correct -q -r --keep-tree -j 1 --skip-existing --shard '{}'/"$shards" \
      --report "$out/report-{}.jsonl" -o "$out" .
