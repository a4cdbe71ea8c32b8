#!/bin/sh
# Joins a dataset of every run of the study (study.txt, in the order of its
# lines) into one: a receptor grid cut into chunks (--receptors), met years
# (--time) or runs of separate sources (--sum). Given a FOLDER/ rather than
# OUTPUT and DATASET, joins every dataset the runs hold, each into
# FOLDER/<name>. Submitted by submit.sh after the array job; by hand:
#   sbatch --dependency=afterok:<array job> --kill-on-invalid-dep=yes join.sh MODE OUTPUT DATASET
#SBATCH --job-name=kestrel-join
#SBATCH --cpus-per-task=1
#SBATCH --output=logs/%x_%j.out
#
# A run's dataset is joined only when its last task converted it: a .kst
# list file of the run names it (the task removes its control file's list
# file first). Every dataset of a FOLDER/ join: those the first run's
# <control>.kst names (AERMOD_INP, default AERMOD.INP). RUNS is not read: a
# join is always of the whole study.
#
# Exit status: kestrel-join's (0 written, 1 refused, 2 I/O failure), the
# worst of them for a folder; 1 when a run has not the dataset; 2 for a
# usage error, or an empty line or no study.txt.

usage() {
  echo "usage: join.sh --receptors|--time|--sum OUTPUT DATASET | --receptors|--time|--sum FOLDER/" >&2
  exit 2
}
case $# in
  3) ;;
  2) case $2 in */) ;; *) usage ;; esac ;;
  *) usage ;;
esac
mode=$1 output=$2 dataset=${3:-}
study=${STUDY:-study.txt}
control=${AERMOD_INP:-AERMOD.INP}
if [ ! -s "$study" ]; then
  echo "no study file '$study': submit.sh writes it (a copy of runs.txt) the first time, as does cut-receptors.sh" >&2
  exit 2
fi
# Lines are run folders; names may hold blanks, so lists split at newlines.
nl='
'
IFS=$nl
list=$(tr -d '\r' <"$study")
empty=$(printf '%s\n' "$list" | grep -n -m 1 '^[[:space:]]*$' | cut -d: -f1)
if [ -n "$empty" ]; then
  echo "line $empty of $study is empty" >&2
  exit 2
fi
converted() { # RUN [KST]: the datasets of the run's last good conversion, a line each
  sed -n 's/^ Dataset \(.*\): [0-9no][0-9o]* periods* of .*/\1/p' "$1/${2:-$control.kst}" 2>/dev/null
}

# Every dataset of the study, by name: the first run's, which every run must hold.
if [ -z "$dataset" ]; then
  first=${list%%"$nl"*}
  names=$(converted "$first")
  if [ -z "$names" ]; then
    echo "refused: '$first/$control.kst' lists no dataset: the first run of $study was not converted" >&2
    exit 1
  fi
  bad=0
  while IFS= read -r run; do
    have=$(converted "$run")
    for name in $(printf '%s\n' "$names" "$have" | sort | uniq -u); do
      if printf '%s\n' "$names" | grep -qxF -- "$name"; then
        echo "refused: run '$run' has no $name (its $control.kst does not list it)" >&2
      else
        echo "refused: run '$run' holds $name, which the first run, '$first', does not" >&2
      fi
      bad=1
    done
  done <<EOF
$list
EOF
  [ "$bad" -eq 0 ] || exit 1
else
  names=$dataset
fi

# Every run's datasets, or the list of those missing: never a part of the study.
missing=0
for name in $names; do
  line=0
  while IFS= read -r run; do
    line=$((line + 1))
    if [ ! -f "$run/$name" ]; then
      echo "missing: '$run/$name' (line $line of $study)" >&2
      missing=$((missing + 1))
    elif ! (cd "$run" && for kst in *.kst; do converted . "$kst"; done) | grep -qxF -- "$name"; then
      echo "missing: '$run/$name' (line $line of $study) is not from the run's last conversion: no $run/*.kst lists it" >&2
      missing=$((missing + 1))
    fi
  done <<EOF
$list
EOF
done
if [ "$missing" -gt 0 ]; then
  echo "refused: $missing datasets missing; nothing joined" >&2
  exit 1
fi

status=0
runs=$(printf '%s\n' "$list" | awk 'END { print NR }')
for name in $names; do
  out=$output
  [ -n "$dataset" ] || out=$output$name
  set --
  while IFS= read -r run; do
    set -- "$@" "$run/$name"
  done <<EOF
$list
EOF
  mkdir -p "$(dirname "$out")" || exit 2
  echo "kestrel-join $mode -o $out: $name of the $runs runs of $study"
  kestrel-join "$mode" -o "$out" "$@"
  s=$?
  [ "$s" -le "$status" ] || status=$s
done
exit "$status"
