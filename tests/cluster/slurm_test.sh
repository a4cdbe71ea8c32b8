#!/usr/bin/env bash
# The scripts of examples/cluster on a real one-node Slurm started here:
# array jobs of small runs made from examples/sample, each followed by its
# join job (receptor chunks, days, sources), and a study whose tasks must be
# refused. Every task's exit is checked and every dataset compared with a
# local run of the same programs.
#
#   tests/cluster/slurm_test.sh [BUILD-FOLDER]      (default: build)
#
# Installs slurm-wlm and munge with apt-get when they are missing. Where
# Slurm cannot be had or started it prints `SKIPPED: <why>` and exits 0.
# KESTREL_JOIN names a kestrel-join other than BUILD-FOLDER/kestrel-join.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
cluster=$repo/examples/cluster
passed=0

fail() {
  echo "FAILED: $*"
  exit 1
}
skip() {
  echo "SKIPPED: $*"
  exit 0
}
check() { # WHAT COMMAND...: one counted check
  local what=$1
  shift
  "$@" || fail "$what"
  passed=$((passed + 1))
}

not() { ! "$@" 2>/dev/null; }
same() { # GOT WANTED
  [ "$1" = "$2" ] && return
  echo "  got:    '$1'"
  echo "  wanted: '$2'"
  return 1
}

[ -x "$build/kestrel" ] || fail "no $build/kestrel: build it first"
join_bin=${KESTREL_JOIN:-$build/kestrel-join}
[ -x "$join_bin" ] || join_bin=

if ! command -v slurmctld >/dev/null || ! command -v slurmd >/dev/null || ! command -v munged >/dev/null; then
  if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null; then
    skip "slurm-wlm and munge are not installed, and only root on Debian installs them here"
  fi
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -qq && apt-get install -y -qq --no-install-recommends slurm-wlm munge; } >/dev/null 2>&1 ||
    skip "apt-get could not install slurm-wlm and munge"
fi
# slurmd starts the tasks as their owner: only root can run it for real.
[ "$(id -u)" -eq 0 ] || skip "slurmd needs root"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-slurm.XXXXXX")
# munged refuses a socket whose folders are not open to all.
chmod 755 "$tmp"
submitted=()
stop_daemon() { # PID-FILE NAME: a daemon of ours, and only if the pid is still it
  local pid
  pid=$(cat "$1" 2>/dev/null) || return 0
  [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$2" ] || return 0
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.2
  done
  kill -9 "$pid" 2>/dev/null
}
cleanup() {
  local status=$?
  set +e
  [ ${#submitted[@]} -eq 0 ] || scancel "${submitted[@]}" 2>/dev/null
  if [ "$status" -ne 0 ]; then
    for log in "$tmp"/slurmctld.log "$tmp"/slurmd.log "$tmp"/cluster/*/logs/*; do
      [ -f "$log" ] && { echo "--- $log"; tail -n 15 "$log"; }
    done
  fi
  stop_daemon "$tmp/slurmd.pid" slurmd
  stop_daemon "$tmp/slurmctld.pid" slurmctld
  stop_daemon "$tmp/munge/munged.pid" munged
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --- Slurm: munged, slurmctld and slurmd of one node, all under $tmp.
mkdir -m 700 "$tmp/munge" "$tmp/state" "$tmp/spool"
mkdir -m 755 "$tmp/socket"
head -c 1024 /dev/urandom >"$tmp/munge/munge.key"
chmod 400 "$tmp/munge/munge.key"
munged --key-file="$tmp/munge/munge.key" --socket="$tmp/socket/munge" --pid-file="$tmp/munge/munged.pid" \
  --log-file="$tmp/munge/munged.log" --seed-file="$tmp/munge/seed" ||
  skip "munged did not start: $(tail -n 1 "$tmp/munge/munged.log" 2>/dev/null || echo "no log")"

# Free ports, so that another Slurm on this machine is no matter.
read -r ctld_port slurmd_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')
node=$(hostname -s)
export SLURM_CONF=$tmp/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=kestreltest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/socket/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
# Ended jobs stay known to scontrol until the checks are done.
MinJobAge=3600
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld || skip "slurmctld did not start: $(tail -n 1 "$tmp/slurmctld.log" 2>/dev/null || echo "no log")"
slurmd -N "$node" || skip "slurmd did not start: $(tail -n 1 "$tmp/slurmd.log" 2>/dev/null || echo "no log")"
for _ in $(seq 60); do
  [ "$(sinfo -h -n "$node" -o %t 2>/dev/null)" = idle ] && break
  sleep 1
done
[ "$(sinfo -h -n "$node" -o %t 2>/dev/null)" = idle ] ||
  skip "the Slurm node did not come up: $(sinfo -h -o %t 2>&1 | head -n 1); $(tail -n 1 "$tmp/slurmctld.log")"
echo "-- Slurm $(sinfo -V | cut -d' ' -f2): node $node idle, $(nproc) CPUs"

# --- The programs the tasks find on their PATH (sbatch passes it on).
mkdir "$tmp/bin"
ln -s "$build/kestrel" "$tmp/bin/kestrel"
[ -z "$join_bin" ] || ln -s "$join_bin" "$tmp/bin/kestrel-join"
# AERMOD's stand-in takes its files as AERMOD's documentation gives them, and
# like AERMOD exits 0 whatever happens. Its POSTFILEs are the ones prepared
# in aermod-postfiles/; a folder with aermod-fails is a run that fails: the
# POSTFILEs left empty and a listing without the success line, or (abort) no
# listing at all. Two at once in one folder fail, as their scratch files would
# clash in AERMOD; aermod-sleep makes one last that many seconds.
cat >"$tmp/bin/aermod" <<'EOF'
#!/bin/sh
if [ $# -ne 2 ] || [ ! -f "$1" ]; then
  echo ' Error Opening Runstream Input File!  Aborting.'
  exit 0
fi
if ! (set -C && : >AERMOD_ERRMSG.TMP) 2>/dev/null; then
  printf ' another AERMOD runs in this folder\n' >"$2"
  exit 0
fi
trap 'rm -f AERMOD_ERRMSG.TMP' EXIT
[ ! -f aermod-sleep ] || sleep "$(cat aermod-sleep)"
if [ -f aermod-fails ]; then
  for f in aermod-postfiles/*; do : >"${f##*/}"; done
  [ "$(cat aermod-fails)" = abort ] || printf ' ME E500 *** FATAL ERROR: met file not found\n' >"$2"
  exit 0
fi
cp aermod-postfiles/* .
printf ' *** Message Summary ***\n\n  *** AERMOD Finishes Successfully ***\n' >"$2"
EOF
chmod +x "$tmp/bin/aermod"
export PATH=$tmp/bin:$PATH

# --- The studies, made from the sample run.
postfile() { # IN OUT FIRST COUNT DAYS SCALE [TYPES]: receptors FIRST.. of IN, dates moved, values scaled
  python3 - "$@" <<'EOF'
import re, struct, sys
src, dst = sys.argv[1:3]
first, count, days = (int(a) for a in sys.argv[3:6])
scale = float(sys.argv[6])
types = int(sys.argv[7]) if len(sys.argv) > 7 else 1
if src.endswith('.PLT'):  # a PLOT file, cut alone: a line per receptor, their count in its head
    lines = open(src).read().splitlines(True)
    head = [l for l in lines if l.startswith('*')]
    rows = [l for l in lines if not l.startswith('*')]
    total = int(re.search(r'TOTAL OF +(\d+)', ''.join(head)).group(1))
    recount = lambda m: 'TOTAL OF' + str(count).rjust(len(m.group(1)))
    head = [re.sub(r'TOTAL OF( +\d+)', recount, l) for l in head]
    open(dst, 'w').write(''.join(head + [r for i, r in enumerate(rows) if first <= i % total < first + count]))
    sys.exit()
data, out, pos = open(src, 'rb').read(), bytearray(), 0
while pos < len(data):
    (n,) = struct.unpack_from('<i', data, pos)
    body = data[pos + 4:pos + 4 + n]
    pos += n + 8
    kurdat, kave = struct.unpack_from('<ii', body)
    every = struct.unpack_from('<%dd' % ((n - 16) // 8), body, 16)
    total = len(every) // types
    values = [v for t in range(types) for v in every[t * total + first:t * total + first + count]]
    new = struct.pack('<ii', kurdat + 100 * days, kave) + body[8:16] + \
        struct.pack('<%dd' % len(values), *(v * scale for v in values))
    out += struct.pack('<i', len(new)) + new + struct.pack('<i', len(new))
open(dst, 'wb').write(out)
EOF
}
sample=$repo/examples/sample
make_run() { # FOLDER FIRST COUNT DAYS SCALE: the sample run whose AERMOD gives these values
  mkdir -p "$1/aermod-postfiles"
  cp "$sample/AERMOD.INP" "$sample/receptors.dat" "$1/"
  postfile "$sample/sample_01h.bin" "$1/aermod-postfiles/sample_01h.bin" "${@:2}"
}
mkdir "$tmp/cluster"
cd "$tmp/cluster"

# Receptors: the template takes all 75 from receptors.dat, cut into 3 chunks.
mkdir -p receptors/template && cd receptors
sed '/^ *DISCCART/d' "$sample/AERMOD.INP" >template/AERMOD.INP
{
  sed -n '1,/ELEVUNIT/p' "$sample/receptors.dat"
  grep '^ *DISCCART' "$sample/AERMOD.INP"
  sed '1,/ELEVUNIT/d' "$sample/receptors.dat"
} >template/receptors.dat
"$cluster/cut-receptors.sh" template receptors.dat 3 >runs.txt
check "cut-receptors.sh: the chunks hold the template's receptors in order, 25 each" \
  diff <(grep DISCCART template/receptors.dat) <(cat chunk-0*/receptors.dat | grep DISCCART)
check "cut-receptors.sh: every chunk keeps the lines before the receptors" \
  test "$(grep -l ELEVUNIT chunk-0*/receptors.dat | wc -l)" -eq 3
first=0
while read -r chunk; do
  count=$(grep -c DISCCART "$chunk/receptors.dat")
  [ "$count" -eq 25 ] || fail "$chunk holds $count receptors"
  mkdir "$chunk/aermod-postfiles"
  postfile "$sample/sample_01h.bin" "$chunk/aermod-postfiles/sample_01h.bin" "$first" "$count" 0 1
  first=$((first + count))
done <runs.txt
printf '  GRIDCART G1 STA\n' >>template/receptors.dat
check "cut-receptors.sh refuses a network" not "$cluster/cut-receptors.sh" template receptors.dat 2 more
rm -r template
printf 'chunk-01\n\nchunk-02\n' >gap.txt
check "submit.sh refuses an empty line in the list, submitting nothing" not env RUNS=gap.txt sh "$cluster/submit.sh"
rm gap.txt
cd ..

# cut-sources.sh: the sample with a second stack, receptors tied to it in the
# control file (DISCPOLR) and in receptors.dat (a polar network, 8 for the
# last 8 of the sample); each run's dataset must be the uncut run's.
mkdir -p cut-sources/template && cd cut-sources
cp "$sample"/* template/
sed -i -e 's/^   SRCGROUP  ALL/   LOCATION  STACK2  POINT  100.5  -37.25  0.0\n   SRCPARAM  STACK2  50.0  30.0  400.0  10.0  2.0\n&/' \
  -e 's/^   DISCCART   250.0     0.0   0.0/   DISCPOLR  STACK2  250.0  30.0  0.0/' \
  -e 's/^   DISCCART     0.0   250.0   0.0/RE DISCPOLR  STACK2  1000.  117.5/' template/AERMOD.INP
head -n -8 "$sample/receptors.dat" >template/receptors.dat
printf '   GRIDPOLR  POL1  STA\n   GRIDPOLR  POL1  ORIG  STACK2\n   GRIDPOLR  POL1  DIST  300. 700.\n   GRIDPOLR  POL1  GDIR  4  45. 90.\n   GRIDPOLR  POL1  END\n' >>template/receptors.dat
cp template/AERMOD.INP base.inp
while IFS='|' read -r what edit args; do
  cp base.inp template/AERMOD.INP
  [ -z "$edit" ] || sed -i "$edit" template/AERMOD.INP
  # shellcheck disable=SC2086
  check "cut-sources.sh refuses $what" not "$cluster/cut-sources.sh" template $args
  check "cut-sources.sh: nothing written after refusing $what" test ! -e source-01 -a ! -e study.txt
done <<'EOF'
a source in no run||STACK1
a source in two runs||STACK1 STACK1,STACK2
an unknown source||STACK1 STACK2,STACK9
a source group but ALL|s/^   SRCGROUP  ALL/&\n   SRCGROUP  G1  STACK1/|STACK1 STACK2
a polar receptor of no source|s/DISCPOLR  STACK2  250/DISCPOLR  STACK7  250/|STACK1 STACK2
EOF
cp base.inp template/AERMOD.INP
"$cluster/cut-sources.sh" template STACK2 STACK1 >runs.txt
check "cut-sources.sh: a run per group, in order, the study written" same "$(cat runs.txt study.txt | tr '\n' ' ')" \
  "source-01 source-02 source-01 source-02 "
check "cut-sources.sh: each run holds its own sources alone" \
  same "$(grep -h LOCATION source-0*/AERMOD.INP | awk '{ print $2 }' | tr '\n' ' ')" "STACK2 STACK1 "
check "cut-sources.sh: no receptor tied to a source is left" not grep -q 'DISCPOLR\|ORIG  STACK' source-0*/*
for dir in template source-01 source-02; do
  (cd "$dir" && "$build/kestrel" -q >/dev/null) || fail "kestrel in cut-sources/$dir"
done
for dir in source-01 source-02; do
  check "cut-sources.sh: $dir's dataset is the uncut run's" cmp template/sample_01h.bin.gdx "$dir/sample_01h.bin.gdx"
done
cd ..

# Days (the --time join): the sample's day, then the same hours a day later.
mkdir days && make_run days/day-1 0 75 0 1 && make_run days/day-2 0 75 1 1
sed -i 's/STARTEND  88 03 01  88 03 01/STARTEND  88 03 02  88 03 02/' days/day-2/AERMOD.INP
printf 'day-1\nday-2\n' >days/runs.txt
# Sources (the --sum join): two stacks' runs.
mkdir sources && make_run sources/stack-a 0 75 0 1 && make_run sources/stack-b 0 75 0 2.5
printf 'stack-a\nstack-b\n' >sources/runs.txt
# Refused: a good run; one whose AERMOD fails with a listing, one without a
# listing but with an old one saying success; both have an old POSTFILE and
# its dataset. The array is one task longer than the list.
mkdir refused && make_run refused/good 0 75 0 1
for run in fails aborts; do
  make_run "refused/$run" 0 75 0 1
  cp "$sample/sample_01h.bin" "refused/$run/"
  (cd "refused/$run" && "$build/kestrel" >/dev/null && cp sample_01h.bin.gdx old.gdx && rm AERMOD.INP.kst)
  printf '  *** AERMOD Finishes Successfully ***\n' >"refused/$run/AERMOD.OUT"
done
echo listing >refused/fails/aermod-fails
echo abort >refused/aborts/aermod-fails
printf 'good\nfails\naborts\n' >refused/runs.txt
cp refused/runs.txt refused/study.txt
# Deposition (every dataset joined into a folder): EPA's gas deposition deck,
# its 46 receptors cut into 2 chunks, written as UNFORM and as PLOT, whose
# arrays are submitted together into the same run folders.
deposition=$repo/tests/data/testgas-deposition/input
mkdir -p deposition/template
for inp in AERMOD.INP AERMOD_PLOT.INP; do
  sed -e '0,/^ *DISCCART/s//   INCLUDED  receptors.dat\n&/' "$deposition/$inp" | sed '/^ *DISCCART/d' >"deposition/template/$inp"
done
grep '^ *DISCCART' "$deposition/AERMOD.INP" >deposition/template/receptors.dat
(cd deposition && "$cluster/cut-receptors.sh" template receptors.dat 2 >runs.txt && rm -r template)
for chunk in 1 2; do
  mkdir "deposition/chunk-0$chunk/aermod-postfiles"
  for post in ALL_01H.BIN ALL_01H.PLT; do
    postfile "$deposition/$post" "deposition/chunk-0$chunk/aermod-postfiles/$post" $((23 * chunk - 23)) 23 0 1 3
  done
  echo 2 >"deposition/chunk-0$chunk/aermod-sleep"
done

# The same runs, converted and joined here for comparison.
cp -a "$tmp/cluster" "$tmp/local"
for run in receptors/chunk-0{1,2,3} days/day-{1,2} sources/stack-{a,b} refused/good; do
  (cd "$tmp/local/$run" && aermod AERMOD.INP AERMOD.OUT && "$build/kestrel" >/dev/null) || fail "local run $run"
done
cp -R "$deposition" "$tmp/local/deposition/uncut"
(cd "$tmp/local/deposition/uncut" && "$build/kestrel" -q AERMOD.INP AERMOD_PLOT.INP >/dev/null) || fail "local deposition run"

# --- Submitted as the README says.
declare -A join_job array_job
for study in receptors days sources; do
  mode=--$study
  [ "$study" = days ] && mode=--time
  [ "$study" = sources ] && mode=--sum
  cd "$tmp/cluster/$study"
  if [ -n "$join_bin" ]; then
    sh "$cluster/submit.sh" "$mode" joined/sample_01h.bin.gdx sample_01h.bin.gdx >submitted.txt
    join_job[$study]=$(sed -n 's/^join job \([0-9]*\):.*/\1/p' submitted.txt)
    mapfile -t inputs < <(sed 's|$|/sample_01h.bin.gdx|' runs.txt)
    (cd "$tmp/local/$study" && "$join_bin" "$mode" -o joined.gdx "${inputs[@]}") || fail "local kestrel-join $mode"
  else
    sh "$cluster/submit.sh" >submitted.txt
  fi
  array_job[$study]=$(sed -n 's/^array job \([0-9]*\):.*/\1/p' submitted.txt)
  submitted+=("${array_job[$study]}" ${join_job[$study]:+"${join_job[$study]}"})
done
if [ -n "$join_bin" ]; then
  # The UNFORM and the PLOT array of the same run folders, submitted at once.
  cd "$tmp/cluster/deposition"
  sh "$cluster/submit.sh" --receptors joined/ >submitted.txt
  AERMOD_INP=AERMOD_PLOT.INP sh "$cluster/submit.sh" --receptors joined/ >submitted-plot.txt
  for f in submitted submitted-plot; do
    array_job[$f]=$(sed -n 's/^array job \([0-9]*\):.*/\1/p' $f.txt)
    join_job[$f]=$(sed -n 's/^join job \([0-9]*\):.*/\1/p' $f.txt)
    submitted+=("${array_job[$f]}" "${join_job[$f]}")
  done
fi

cd "$tmp/cluster/refused"
mkdir -p logs
array_job[refused]=$(sbatch --parsable --array=1-4 "$cluster/aermod-array.sh")
join_job[refused]=$(sbatch --parsable --dependency="afterok:${array_job[refused]}" --kill-on-invalid-dep=yes \
  "$cluster/join.sh" --sum joined/sample_01h.bin.gdx sample_01h.bin.gdx)
submitted+=("${array_job[refused]}" "${join_job[refused]}")

wait_jobs() { # every job submitted so far has ended
  local all deadline=$((SECONDS + 300))
  all=$(IFS=,; echo "${submitted[*]}")
  while [ -n "$(squeue -h -j "$all" 2>/dev/null)" ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "jobs still queued after 5 minutes: $(squeue -h -j "$all")"
    sleep 1
  done
  echo "-- jobs $all ended"
}
wait_jobs

# --- Every task's end, and what it left.
states() { # JOB: "task state exit" per array task, "state exit" for a job
  scontrol -o show job "$1" |
    sed -n -e 's/.* ArrayTaskId=\([0-9]*\) .* JobState=\([A-Z_]*\) .* ExitCode=\([0-9:]*\) .*/\1 \2 \3/p' \
      -e 't' -e 's/.* JobState=\([A-Z_]*\) .* ExitCode=\([0-9:]*\) .*/\1 \2/p' | sort -n | tr '\n' ' '
}
with_summary=no
"$build/kestrel" --help | grep -q -e '--summary' && with_summary=yes
same_datasets() { # STUDY RUN: the run's datasets are those of the local run
  local n=0 f
  for f in "$tmp/local/$1/$2"/*.gdx; do
    cmp "$f" "$tmp/cluster/$1/$2/${f##*/}" || return 1
    n=$((n + 1))
  done
  [ "$n" -gt 0 ] || return 1
  if [ "$with_summary" = yes ]; then
    python3 -c 'import json, sys; json.load(open(sys.argv[1]))' "$tmp/cluster/$1/$2/AERMOD.INP.summary.json"
  else
    [ ! -e "$tmp/cluster/$1/$2/AERMOD.INP.summary.json" ]
  fi
}
first_log_line() { head -n 1 "$tmp/cluster/$1/logs/aermod_${array_job[$1]}_$2.out"; }

check "receptors: every task ends 0" same "$(states "${array_job[receptors]}")" \
  "1 COMPLETED 0:0 2 COMPLETED 0:0 3 COMPLETED 0:0 "
check "days: every task ends 0" same "$(states "${array_job[days]}")" "1 COMPLETED 0:0 2 COMPLETED 0:0 "
check "sources: every task ends 0" same "$(states "${array_job[sources]}")" "1 COMPLETED 0:0 2 COMPLETED 0:0 "
for run in receptors/chunk-0{1,2,3} days/day-{1,2} sources/stack-{a,b} refused/good; do
  check "$run: the datasets of the local run" same_datasets "${run%%/*}" "${run#*/}"
done
check "the log's first line names the run folder" \
  same "$(first_log_line receptors 2)" "task ${array_job[receptors]}_2: run 'chunk-02' (line 2 of runs.txt)"

check "refused: the good run ends 0, the failed AERMODs 4, the task past the list 2" \
  same "$(states "${array_job[refused]}")" "1 COMPLETED 0:0 2 FAILED 4:0 3 FAILED 4:0 4 FAILED 2:0 "
for run in fails aborts; do
  check "refused/$run: kestrel did not run" test ! -e "$run/AERMOD.INP.kst"
  check "refused/$run: the old dataset stands" cmp "$run/old.gdx" "$run/sample_01h.bin.gdx"
done
check "refused/fails: the log says why" \
  grep -q "AERMOD in 'fails' did not finish successfully" "logs/aermod_${array_job[refused]}_2.out"
check "refused: the task past the list did nothing in the submit folder" \
  test -z "$(find . -maxdepth 1 \( -name '*.kst' -o -name '*.gdx' \))"
check "refused: the task past the list says so" \
  grep -q "no run folder on line 4 of runs.txt" "logs/aermod_${array_job[refused]}_4.out"
check "refused: the join is cancelled, not run" same "$(states "${join_job[refused]}")" "CANCELLED 0:0 "
check "refused: the first failing task cancels the join" \
  grep -q "cancelling job ${join_job[refused]}," logs/aermod_"${array_job[refused]}"_*.out
check "refused: no joined dataset" test ! -e joined

if [ -n "$join_bin" ]; then
  for study in receptors days sources; do
    check "$study: the join job ends 0" same "$(states "${join_job[$study]}")" "COMPLETED 0:0 "
    check "$study: the joined dataset is the local join's" \
      cmp "$tmp/local/$study/joined.gdx" "$tmp/cluster/$study/joined/sample_01h.bin.gdx"
  done
else
  echo "SKIPPED: the join jobs: no $build/kestrel-join (set KESTREL_JOIN to use another)"
  echo "slurm: $passed passed, 0 failed"
  exit 0
fi

cd "$tmp/cluster/deposition"
check "deposition: the PLOT array waits for the UNFORM array and its join" \
  grep -q "after the study's jobs ${array_job[submitted]}:${join_job[submitted]}\$" submitted-plot.txt
for f in submitted submitted-plot; do
  check "deposition ($f): every task and the join end 0" same "$(states "${array_job[$f]}") $(states "${join_job[$f]}")" \
    "1 COMPLETED 0:0 2 COMPLETED 0:0  COMPLETED 0:0 "
done
for f in "$tmp/local/deposition/uncut"/*.gdx; do
  check "deposition: joined/${f##*/} is the uncut run's" cmp "$f" "joined/${f##*/}"
done
check "deposition: six datasets joined with their list files, no more" test "$(find joined -type f -name '*.gdx' | wc -l)" -eq 6 -a "$(find joined -type f -name '*.gdx.kst' | wc -l)" -eq 6
sed -i '/wflx/d' chunk-02/AERMOD.INP.kst
check "deposition: a folder join is refused when a run lacks a dataset, naming both" \
  grep -q "refused: run 'chunk-02' has no ALL_01H.BIN.wflx.gdx" <(sh "$cluster/join.sh" --receptors again/ 2>&1)
check "deposition: a summary per control file" test -s chunk-01/AERMOD.INP.summary.json -a -s chunk-01/AERMOD_PLOT.INP.summary.json

# A changed study (values doubled) whose last chunk fails: the old joined
# dataset is moved aside, nothing is joined.
cd "$tmp/cluster/receptors"
first=0
for chunk in chunk-01 chunk-02 chunk-03; do
  postfile "$sample/sample_01h.bin" "$chunk/aermod-postfiles/sample_01h.bin" "$first" 25 0 2
  first=$((first + 25))
  mkdir -p "$tmp/local/changed" && cp -R "$chunk" "$tmp/local/changed/"
  (cd "$tmp/local/changed/$chunk" && aermod AERMOD.INP AERMOD.OUT && "$build/kestrel" >/dev/null) || fail "local $chunk"
done
(cd "$tmp/local/changed" && "$join_bin" --receptors -o joined.gdx chunk-0{1,2,3}/sample_01h.bin.gdx) >/dev/null
echo listing >chunk-03/aermod-fails
printf 'chunk-02\nchunk-09\n' >bad.txt
check "submit.sh refuses a run that is not of the study, naming it" \
  grep -q "run 'chunk-09' (line 2 of bad.txt) is not a run of the study" <(RUNS=bad.txt sh "$cluster/submit.sh" 2>&1)
sh "$cluster/submit.sh" --receptors joined/sample_01h.bin.gdx sample_01h.bin.gdx >changed.txt
array_job[changed]=$(sed -n 's/^array job \([0-9]*\):.*/\1/p' changed.txt)
join_job[changed]=$(sed -n 's/^join job \([0-9]*\):.*/\1/p' changed.txt)
submitted+=("${array_job[changed]}" "${join_job[changed]}")
wait_jobs
check "changed: the third chunk fails, the join is cancelled" \
  same "$(states "${array_job[changed]}") $(states "${join_job[changed]}")" \
  "1 COMPLETED 0:0 2 COMPLETED 0:0 3 FAILED 4:0  CANCELLED 0:0 "
check "changed: the old joined dataset was moved aside, and the submission said so" \
  grep -q "^moved joined/sample_01h.bin.gdx aside to joined/sample_01h.bin.gdx.old" changed.txt
check "changed: the old joined dataset is the old study's" \
  cmp "$tmp/local/receptors/joined.gdx" joined/sample_01h.bin.gdx.old
check "changed: no joined dataset" test ! -e joined/sample_01h.bin.gdx
check "changed: a join by hand is refused, naming the failed run" \
  grep -q "missing: 'chunk-03/sample_01h.bin.gdx' (line 3 of study.txt) is not from the run's last conversion" \
  <(RUNS=again.txt sh "$cluster/join.sh" --receptors joined/sample_01h.bin.gdx sample_01h.bin.gdx 2>&1)

# The failed chunk again, joined in the same line: over the whole study.
rm chunk-03/aermod-fails
echo chunk-03 >again.txt
RUNS=again.txt sh "$cluster/submit.sh" --receptors joined/sample_01h.bin.gdx sample_01h.bin.gdx >again-submitted.txt
array_job[again]=$(sed -n 's/^array job \([0-9]*\):.*/\1/p' again-submitted.txt)
join_job[again]=$(sed -n 's/^join job \([0-9]*\):.*/\1/p' again-submitted.txt)
submitted+=("${array_job[again]}" "${join_job[again]}")
wait_jobs
check "again: the chunk and the join end 0" same "$(states "${array_job[again]}") $(states "${join_job[again]}")" \
  "1 COMPLETED 0:0  COMPLETED 0:0 "
check "again: the joined dataset is the whole changed study's" \
  cmp "$tmp/local/changed/joined.gdx" joined/sample_01h.bin.gdx
echo "slurm: $passed passed, 0 failed"
