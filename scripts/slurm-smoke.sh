#!/usr/bin/env bash
# By hand, not in CI: starts a single-node Slurm on this machine (Debian's
# slurm-wlm and munge, installed when missing; needs root), runs the array
# recipe deploy/slurm-array.sbatch over 40 images in 4 tasks, and checks that
# every output exists exactly once and matches a single-process run byte for
# byte. Stops the daemons it started at the end.
#   scripts/slurm-smoke.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
[ -x "$build/tavelin-cli" ] || { echo "no $build/tavelin-cli: build it first" >&2; exit 2; }
if ! command -v slurmctld >/dev/null || ! command -v munged >/dev/null; then
  apt-get install -y slurm-wlm munge >/dev/null
fi

work=$(mktemp -d /tmp/tavelin-slurm-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  sleep 1
  rm -rf "$work"
}
trap cleanup EXIT

# munge with a key of its own.
mkdir -p "$work/munge" "$work/slurm/spool" "$work/slurm/state"
dd if=/dev/urandom of="$work/munge/key" bs=1024 count=1 status=none
chmod 700 "$work/munge"; chmod 400 "$work/munge/key"
chown -R munge:munge "$work/munge" 2>/dev/null || true
munged --key-file="$work/munge/key" --socket="$work/munge/socket" --pid-file="$work/munge/pid" \
  --log-file="$work/munge/log" --seed-file="$work/munge/seed" -f
pids+=("$(cat "$work/munge/pid")")

host=$(hostname -s)
cpus=$(nproc)
cat > "$work/slurm/slurm.conf" <<CONF
ClusterName=smoke
SlurmctldHost=$host
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CryptoType=crypto/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/slurm/state
SlurmdSpoolDir=$work/slurm/spool
SlurmctldPidFile=$work/slurm/slurmctld.pid
SlurmdPidFile=$work/slurm/slurmd.pid
SlurmctldLogFile=$work/slurm/slurmctld.log
SlurmdLogFile=$work/slurm/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
NodeName=$host CPUs=$cpus State=UNKNOWN
PartitionName=smoke Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$work/slurm/slurm.conf
slurmctld -c -f "$SLURM_CONF"
sleep 1
pids+=("$(cat "$work/slurm/slurmctld.pid")")
slurmd -f "$SLURM_CONF"
sleep 2
pids+=("$(cat "$work/slurm/slurmd.pid")")
sinfo

# 40 images from the sample photographs, and the single-process reference.
mkdir -p "$work/in/a" "$work/in/b" "$work/ref" "$work/out"
samples=("$here"/samples/*.jpg)
for i in $(seq 0 39); do
  cp "${samples[$((i % ${#samples[@]}))]}" "$work/in/$([ $i -lt 20 ] && echo a || echo b)/img$i.jpg"
done
export XDG_STATE_HOME=$work/state PATH=$build:$PATH
(cd "$work/in" && tavelin-cli correct -q -r --keep-tree -o "$work/ref" .)

job=$(sbatch --parsable --array=0-3 --chdir="$work" --export=ALL,IN="$work/in",OUT="$work/out",N=4 \
  "$here/deploy/slurm-array.sbatch")
echo "submitted array job $job"
for _ in $(seq 1 600); do
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
  sleep 1
done
sacct -j "$job" 2>/dev/null || true
cat "$work"/tavelin-*.log 2>/dev/null || true

refs=$(cd "$work/ref" && find . -type f | sort)
outs=$(cd "$work/out" && find . -type f ! -name 'report-*' | sort)
[ "$refs" = "$outs" ] || { echo "FAIL: the outputs differ from the single run's"; diff <(echo "$refs") <(echo "$outs"); exit 1; }
n=0
while read -r f; do
  cmp -s "$work/ref/$f" "$work/out/$f" || { echo "FAIL: $f differs"; exit 1; }
  n=$((n + 1))
done <<< "$refs"
echo "PASS: $n outputs, each once, byte for byte those of one run ($(cat "$work"/out/report-*.jsonl | wc -l) report lines)"
