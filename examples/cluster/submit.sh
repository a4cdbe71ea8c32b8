#!/bin/sh
# Submits aermod-array.sh with one task per line of runs.txt and, given a
# join, join.sh as a second job that starts only once every task has ended
# with status 0 (and is cancelled if one has not).
#
#   submit.sh                                   the runs alone
#   submit.sh MODE OUTPUT DATASET               the runs, then kestrel-join
#   submit.sh --receptors joined/ALL_01H.BIN.gdx ALL_01H.BIN.gdx
#
# RUNS names another list of run folders; MAX_TASKS (default 50) how many
# tasks run at once.
set -eu
here=$(dirname "$0")
runs=${RUNS:-runs.txt}
if [ $# -ne 0 ] && [ $# -ne 3 ]; then
  echo "usage: $0 [--receptors|--time|--sum OUTPUT DATASET]" >&2
  exit 2
fi
if [ ! -s "$runs" ]; then
  echo "$0: no run folders: '$runs' is missing or empty" >&2
  exit 2
fi
# An empty line would give a task without a run folder, which refuses to
# run and so holds back the join for good.
empty=$(tr -d '\r' <"$runs" | grep -n -m 1 '^[[:space:]]*$' | cut -d: -f1 || true)
if [ -n "$empty" ]; then
  echo "$0: line $empty of '$runs' is empty" >&2
  exit 2
fi
count=$(awk 'END { print NR }' "$runs")
mkdir -p logs

array=$(sbatch --parsable --array="1-$count%${MAX_TASKS:-50}" "$here/aermod-array.sh")
array=${array%%;*}
echo "array job $array: $count runs of $runs, logs in logs/aermod_${array}_<line>.out"
if [ $# -eq 3 ]; then
  join=$(sbatch --parsable --dependency="afterok:$array" --kill-on-invalid-dep=yes "$here/join.sh" "$@")
  echo "join job ${join%%;*}: $1 into $2, after every task of $array ends with status 0"
fi
