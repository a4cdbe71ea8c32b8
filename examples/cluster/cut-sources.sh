#!/bin/sh
# Cuts a run's sources into run folders, one per group of sources, so that
# each is an AERMOD run of its own (an array task) and kestrel-join --sum adds
# their datasets into the uncut run's.
#
#   cut-sources.sh TEMPLATE SOURCES... > runs.txt
#
# TEMPLATE is a run folder (control file AERMOD_INP, default AERMOD.INP);
# each SOURCES is a comma-separated list of source IDs, one run; every source
# of the template must be in exactly one. Writes the folders PREFIX-01 ...
# (PREFIX, default source) in the current folder, each a copy of TEMPLATE
# whose SO pathway keeps only its sources' lines, prints their names in order
# and writes them to study.txt (STUDY names another file).
#
# Every run must hold the same receptors, but one tied to a source
# (DISCPOLR srcid, GRIDPOLR ... ORIG srcid) is refused by AERMOD in a run
# without the source (RE E300): in every run, the control file's and its
# RE INCLUDED files' DISCPOLR become DISCCART at the same place, computed as
# AERMOD does (x = xs + dist sin(dir), y = ys + dist cos(dir), in double
# precision), and an ORIG srcid the source's own x y. SO lines this script
# cannot assign to one run (source groups but ALL, ranges, HOUREMIS,
# background, an SO INCLUDED) are refused, naming the line: cut those by hand.
set -eu
if [ $# -lt 2 ]; then
  echo "usage: $0 TEMPLATE SOURCES... (SOURCES: ID[,ID]..., one run each)" >&2
  exit 2
fi
template=$1
shift
control=${AERMOD_INP:-AERMOD.INP}
prefix=${PREFIX:-source}
study=${STUDY:-study.txt}
if [ ! -f "$template/$control" ]; then
  echo "$0: '$template/$control' not found" >&2
  exit 2
fi
width=${##}
[ "$width" -ge 2 ] || width=2

# One awk program reads the control file (and, for RE INCLUDED, the files it
# names) and writes a run's version of it; RUN=0 only checks.
# shellcheck disable=SC2016 # an awk program
program='
function fields(line) {
  sub(/\r$/, "", line)
  n = split(line, f, " ")
  if (n == 0 || substr(f[1], 1, 2) == "**") return 0
  k = 1
  if (toupper(f[1]) ~ /^(CO|SO|RE|ME|OU|EV)$/) { path = toupper(f[1]); k = 2 }
  key = toupper(f[k])
  return n
}
function refuse(file, line, why) {
  printf "%s line %d: %s: %s\n", file, line, key, why > "/dev/stderr"
  bad = 1
  exit 1
}
function join(from,   s, i) {
  s = ""
  for (i = from; i <= n; i++) s = s "  " f[i]
  return s
}
function lead() { return k == 2 ? f[1] " " : "   " }
# RE lines tied to a source, placed where AERMOD puts them.
function receptor(file, line, text,   src, pi, d, x, y) {
  if (key == "DISCPOLR") {
    src = f[k + 1]
    if (!(src in xs)) refuse(file, line, "no source " src)
    if (n < k + 3) refuse(file, line, "too few fields")
    pi = atan2(0, -1); d = f[k + 3] * (pi / 180)
    x = xs[src] + f[k + 2] * sin(d); y = ys[src] + f[k + 2] * cos(d)
    return lead() sprintf("DISCCART  %.17g  %.17g", x, y) join(k + 4)
  }
  if (key == "GRIDPOLR" && n == k + 3 && toupper(f[k + 2]) == "ORIG") {
    src = f[k + 3]
    if (!(src in xs)) refuse(file, line, "no source " src)
    return lead() f[k] "  " f[k + 1] "  ORIG  " loc[src]
  }
  return text
}
BEGIN { runs = split(RUNS, group, ";") }
# First pass over the control file: the sources and where they stand.
FNR == 1 { file++ }
file == 1 {
  if (!fields($0)) next
  if (path == "SO" && key == "LOCATION") {
    src = f[k + 1]
    xs[src] = f[k + 3] + 0; ys[src] = f[k + 4] + 0; loc[src] = f[k + 3] "  " f[k + 4]
    order[++sources] = src
  }
  next
}
file == 2 && FNR == 1 {
  for (r = 1; r <= runs; r++) {
    m = split(group[r], ids, ",")
    for (i = 1; i <= m; i++) {
      if (!(ids[i] in xs)) { printf "%s: no source %s in %s\n", PROG, ids[i], CTRL > "/dev/stderr"; bad = 1; exit 1 }
      if (ids[i] in run) { printf "%s: source %s is in two runs\n", PROG, ids[i] > "/dev/stderr"; bad = 1; exit 1 }
      run[ids[i]] = r
    }
  }
  for (i = 1; i <= sources; i++)
    if (!(order[i] in run)) { printf "%s: source %s is in no run\n", PROG, order[i] > "/dev/stderr"; bad = 1; exit 1 }
}
# Second pass: the control file as run RUN (0: checks only).
file == 2 {
  text = $0
  if (!fields($0)) { out(text); next }
  if (path == "SO" && key !~ /^(STARTING|FINISHED|ELEVUNIT|EMISUNIT|CONCUNIT|DEPOUNIT)$/) {
    if (key == "SRCGROUP" || key == "URBANSRC") {
      if (toupper(f[k + 1]) != "ALL" || (key == "SRCGROUP" && n != k + 1))
        refuse(CTRL, FNR, "only " key " ALL is cut by this script")
    } else if (key ~ /^(INCLUDED|HOUREMIS|OLMGROUP|PSDGROUP|BACKGRND|BACKUNIT|BGSECTOR|BLPGROUP|BLPINPUT)$/) {
      refuse(CTRL, FNR, "cut by hand")
    } else if (!(f[k + 1] in xs)) {
      refuse(CTRL, FNR, "not a line of one source (" f[k + 1] ")")
    } else if (run[f[k + 1]] != RUN) next
  }
  if (path == "RE" && key == "INCLUDED") included[f[k + 1]] = 1
  if (path == "RE") text = receptor(CTRL, FNR, text)
  out(text)
  next
}
# Further files: the RE INCLUDED files, receptors only.
{
  text = $0
  if (fields($0)) text = receptor(FILENAME, FNR, text)
  out(text)
}
function out(text) { if (RUN) print text > (OUTDIR "/" (file == 2 ? CTRL : FILENAME)) }
END {
  if (bad) exit 1
  if (!RUN) for (name in included) print name
}'
cut() { # RUN OUTDIR FILES...: awk over the template's files as run RUN
  run=$1 outdir=$2
  shift 2
  (cd "$template" && awk -v RUNS="$groups" -v RUN="$run" -v OUTDIR="$outdir" -v CTRL="$control" -v PROG="$0" \
    "$program" "$control" "$control" "$@")
}

groups=$(printf '%s;' "$@")
groups=${groups%;}
included=$(cut 0 . ) || exit 1
if [ -n "$included" ]; then
  # shellcheck disable=SC2086 # AERMOD's file names hold no blanks
  cut 0 . $included >/dev/null || exit 1
fi

rm -f "$study.part"
if [ -e "$study" ]; then
  echo "$0: '$study' exists already: a new cut is a new study (remove it, and its runs, first)" >&2
  exit 1
fi
i=1
while [ "$i" -le $# ]; do
  dir=$(printf '%s-%0*d' "$prefix" "$width" "$i")
  if [ -e "$dir" ]; then
    echo "$0: '$dir' exists already" >&2
    exit 1
  fi
  i=$((i + 1))
done
i=1
while [ "$i" -le $# ]; do
  dir=$(printf '%s-%0*d' "$prefix" "$width" "$i")
  cp -R "$template" "$dir"
  # shellcheck disable=SC2086
  cut "$i" "$(cd "$dir" && pwd)" $included
  echo "$dir"
  echo "$dir" >>"$study.part"
  i=$((i + 1))
done
mv "$study.part" "$study"
