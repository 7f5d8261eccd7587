#!/bin/bash
# A Slurm array job: task K of N corrects share K of the images under IN.
#   sbatch --array=0-$((N-1)) --export=ALL,IN=/data/scans,OUT=/data/done,N=$N deploy/slurm-array.sbatch
#SBATCH --job-name=tavelin
#SBATCH --cpus-per-task=1
#SBATCH --output=tavelin-%A_%a.log
set -euo pipefail
: "${IN:?}" "${OUT:?}" "${N:?}"
mkdir -p "$OUT"
cd "$IN"
# --jobs follows the CPUs Slurm gave the task (its affinity and cgroup).
exec tavelin-cli correct -q -r --keep-tree --skip-existing --shard "$SLURM_ARRAY_TASK_ID/$N" \
  --report "$OUT/report-$SLURM_ARRAY_TASK_ID.jsonl" -o "$OUT" .
