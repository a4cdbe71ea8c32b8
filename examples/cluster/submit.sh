#!/bin/sh
# Submits aermod-array.sh with one task per line of runs.txt and, given a
# join, join.sh as a second job that starts only once every task has ended
# with status 0 (and is cancelled if one has not).
#
#   submit.sh                                   the runs alone
#   submit.sh MODE OUTPUT DATASET               the runs, then kestrel-join of one dataset
#   submit.sh MODE FOLDER/                      the runs, then every dataset, each into FOLDER/
#   submit.sh --receptors joined/ALL_01H.BIN.gdx ALL_01H.BIN.gdx
#
# The study's runs are fixed the first time: study.txt (STUDY names another)
# is written then as a copy of runs.txt, and a join always joins every run of
# it. Later lists (RUNS=again.txt) may only hold runs of the study. The array
# waits for the study's jobs still queued (an array of another control file
# in the same folders, an earlier join), since AERMOD writes fixed-name
# scratch files in the run folder. RUNS names another list of run folders;
# MAX_TASKS (default 50) how many tasks run at once.
set -eu
here=$(dirname "$0")
runs=${RUNS:-runs.txt}
study=${STUDY:-study.txt}
jobs=$study.jobs
control=${AERMOD_INP:-AERMOD.INP}
usage() {
  echo "usage: $0 [--receptors|--time|--sum OUTPUT DATASET | --receptors|--time|--sum FOLDER/]" >&2
  exit 2
}
case $# in
  0 | 3) ;;
  2) case $2 in */) ;; *) usage ;; esac ;;
  *) usage ;;
esac
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

# 'runs/a/', 'runs/a' and './runs/a' are one run.
folders='function folder(s) { sub(/\r$/, "", s); sub(/^(\.\/)+/, "", s); sub(/\/+$/, "", s); return s }'
if [ ! -e "$study" ]; then
  tr -d '\r' <"$runs" >"$study.part" && mv "$study.part" "$study"
  echo "$study: the study's $(awk 'END { print NR }' "$study") runs, from $runs; every join joins them all"
else
  awk "$folders"'
    NR == FNR { member[folder($0)] = 1; next }
    !(folder($0) in member) {
      printf "%s: run '\''%s'\'' (line %d of %s) is not a run of the study in %s; for a new study remove %s\n",
        prog, $0, FNR, FILENAME, study, study > "/dev/stderr"
      bad = 1
    }
    END { exit bad }' prog="$0" study="$study" "$study" "$runs" || exit 1
fi
count=$(awk 'END { print NR }' "$runs")
total=$(awk 'END { print NR }' "$study")
mkdir -p logs

# Joined outputs of an earlier scenario must not stand beside new chunk
# datasets looking current: what the join will write is moved aside now.
if [ $# -ge 2 ]; then
  case $2 in
    */) first=$(sed -n 1p "$study")
        outputs=$(sed -n 's/^ Dataset \(.*\): [0-9no][0-9o]* periods* of .*/\1/p' "$first/$control.kst" 2>/dev/null |
          awk -v p="$2" '{ print p $0 }') || true ;;
    *) outputs=$2 ;;
  esac
  echo "$outputs" | while IFS= read -r out; do
    if [ -n "$out" ] && [ -e "$out" ]; then
      mv -f "$out" "$out.old"
      echo "moved $out aside to $out.old: the join writes it anew"
    fi
    # Its list file (what it was joined from) goes with it.
    if [ -n "$out" ] && [ -e "$out.kst" ]; then
      mv -f "$out.kst" "$out.kst.old"
    fi
  done
fi

# The study's jobs still in the queue (squeue -j would fail on one Slurm has
# forgotten, so every queued job is listed and the study's picked out).
queued=
if [ -s "$jobs" ]; then
  queued=$(squeue -h -o %F 2>/dev/null | awk 'NR == FNR { ours[$1] = 1; next } ($1 in ours) && !seen[$1]++' "$jobs" - |
    paste -sd: -) || true
fi
array=$(sbatch --parsable --array="1-$count%${MAX_TASKS:-50}" ${queued:+--dependency="afterany:$queued"} \
  "$here/aermod-array.sh")
array=${array%%;*}
echo "$array" >>"$jobs"
after=
[ -z "$queued" ] || after=", after the study's jobs $queued"
echo "array job $array: $count runs of $runs, logs in logs/aermod_${array}_<line>.out$after"
[ "$count" -eq "$total" ] || echo "  $count of the study's $total runs: the join takes the others' datasets as they stand"
if [ $# -ge 2 ]; then
  join=$(sbatch --parsable --dependency="afterok:$array" --kill-on-invalid-dep=yes "$here/join.sh" "$@")
  join=${join%%;*}
  echo "$join" >>"$jobs"
  echo "join job $join: $1 of the study's $total runs into $2, after every task of $array ends with status 0"
fi
