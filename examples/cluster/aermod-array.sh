#!/bin/sh
# One AERMOD run and its conversion per array task: task N takes the run
# folder on line N of runs.txt (folders relative to where sbatch was run).
# submit.sh sets --array to the length of runs.txt; the logs/ folder must
# exist before the tasks start (Slurm does not create it).
#SBATCH --job-name=aermod
#SBATCH --array=1-500%50
#SBATCH --cpus-per-task=1
#SBATCH --output=logs/%x_%A_%a.out
#
# Exit status: kestrel's own (0 normal, 1 halted, 2 failed, 3 warnings under
# --strict); 2 when the task has no run folder; 4 when AERMOD did not finish.
# A task that fails cancels the jobs waiting for the whole array to succeed
# (the join): Slurm 22.05 would cancel them only once every task has ended.

runs=${RUNS:-runs.txt}
control=${AERMOD_INP:-AERMOD.INP}
listing=${AERMOD_OUT:-AERMOD.OUT}
aermod=${AERMOD:-aermod}
task=${SLURM_ARRAY_TASK_ID:?not an array task}
array=${SLURM_ARRAY_JOB_ID:-?}

failed() { # STATUS: end the task, first cancelling the jobs that need it to succeed
  waiting=$(squeue -h -o '%i %E' 2>/dev/null |
    awk -v a="$array" '{ n = split($2, d, ",") } { for (i = 1; i <= n; i++) if (d[i] ~ "^afterok:" a "(_[*0-9]+)?[(]") print $1 }')
  if [ -n "$waiting" ]; then
    # shellcheck disable=SC2086 # job ids, a word each
    echo "cancelling job $(echo $waiting | sed 's/ /, /g'), which waited for every task of $array to succeed" >&2
    # shellcheck disable=SC2086
    scancel $waiting
  fi
  exit "$1"
}

# sacct names a task 11_3, not its folder: the first log line does.
run=$(sed -n "${task}p" "$runs" | tr -d '\r')
echo "task ${array}_$task: run '$run' (line $task of $runs)"
if [ -z "$run" ]; then
  # Without this an empty line (or --array past the end) would run in the
  # submit folder.
  echo "no run folder on line $task of $runs" >&2
  failed 2
fi
if [ ! -d "$run" ]; then
  echo "run folder '$run' not found" >&2
  failed 2
fi

# kestrel's list file names the datasets of the run's last good conversion,
# and a join trusts no other: a run that fails from here on is no longer
# current, though its old datasets stay.
rm -f "$run/$control.kst"
# AERMOD exits 0 even after fatal errors; only the last line of a complete
# listing tells. A listing left by an earlier run must not speak for this one.
(
  cd "$run" || exit 2
  rm -f "$listing"
  "$aermod" "$control" "$listing"
) || { echo "AERMOD in '$run' ended with status $?" >&2; failed 4; }
if ! grep -q 'AERMOD Finishes Successfully' "$run/$listing" 2>/dev/null; then
  echo "AERMOD in '$run' did not finish successfully; its POSTFILEs are not converted. End of $listing:" >&2
  tail -n 20 "$run/$listing" >&2 2>/dev/null
  failed 4
fi

set -- -j "${SLURM_CPUS_PER_TASK:-1}"
if kestrel --help 2>/dev/null | grep -q -e '--summary'; then
  # Named after the control file: a PLOT array in the same folders keeps its own.
  set -- "$@" --summary "$run/$control.summary.json"
fi
kestrel "$@" "$run/$control"
status=$?
[ "$status" -eq 0 ] || failed "$status"
