#!/usr/bin/env bash
# The same over ssh hosts: one share per job slot of the hosts in HOSTS
# (GNU parallel's --sshloginfile format, e.g. "4/user@host1"; ":" is this
# machine). IN and OUT must be the same path on every host.
#   deploy/parallel-ssh.sh HOSTS IN OUT SHARDS
set -euo pipefail
hosts=$1 in=$2 out=$3 shards=$4
seq 0 $((shards - 1)) |
  parallel --sshloginfile "$hosts" --halt never --line-buffer \
    "cd '$in' && tavelin-cli correct -q -r --keep-tree -j 1 --skip-existing --shard {}/$shards --report '$out/report-{}.jsonl' -o '$out' ."
