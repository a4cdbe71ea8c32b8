#!/bin/sh
# Joins one dataset of every run in runs.txt, in the order of its lines,
# into one: a receptor grid cut into chunks (--receptors), met years
# (--time) or runs of separate sources (--sum). Submitted by submit.sh after
# the array job; by hand:
#   sbatch --dependency=afterok:<array job> --kill-on-invalid-dep=yes join.sh MODE OUTPUT DATASET
#SBATCH --job-name=kestrel-join
#SBATCH --cpus-per-task=1
#SBATCH --output=logs/%x_%j.out
#
# Exit status: kestrel-join's (0 written, 1 refused, 2 I/O failure); 2 for a
# usage error or an empty line in runs.txt.

if [ $# -ne 3 ]; then
  echo "usage: join.sh --receptors|--time|--sum OUTPUT DATASET" >&2
  exit 2
fi
mode=$1 output=$2 dataset=$3
runs=${RUNS:-runs.txt}

set --
line=0
while IFS= read -r run || [ -n "$run" ]; do
  line=$((line + 1))
  run=$(printf '%s' "$run" | tr -d '\r')
  if [ -z "$run" ]; then
    echo "line $line of $runs is empty" >&2
    exit 2
  fi
  set -- "$@" "$run/$dataset"
done <"$runs" || exit 2
[ $# -gt 0 ] || { echo "no run folders in $runs" >&2; exit 2; }

mkdir -p "$(dirname "$output")" || exit 2
echo "kestrel-join $mode -o $output: $dataset of $# runs of $runs"
exec kestrel-join "$mode" -o "$output" "$@"
