#!/bin/sh
# Cuts a run's discrete receptors into CHUNKS run folders, so that each chunk
# is an AERMOD run of its own (an array task) and kestrel-join --receptors
# puts the chunks' datasets back together in the uncut run's order.
#
#   cut-receptors.sh TEMPLATE RECEPTOR-FILE CHUNKS [PREFIX] > runs.txt
#
# TEMPLATE is a run folder whose control file takes every receptor from
# RECEPTOR-FILE (a name inside TEMPLATE, read with RE INCLUDED). Writes the
# folders PREFIX-01 ... (default prefix: chunk) in the current folder, each a
# copy of TEMPLATE whose RECEPTOR-FILE holds one consecutive part of the
# receptors (the lines before the first receptor, such as RE ELEVUNIT, go
# into every part), and prints their names in order. They are the study:
# its runs are written to study.txt too (STUDY names another file), which
# every join of the study joins whole.
set -eu
if [ $# -lt 3 ] || [ $# -gt 4 ]; then
  echo "usage: $0 TEMPLATE RECEPTOR-FILE CHUNKS [PREFIX]" >&2
  exit 2
fi
template=$1 file=$2 chunks=$3 prefix=${4:-chunk}
study=${STUDY:-study.txt}
case $chunks in
  '' | *[!0-9]* | 0*) echo "$0: CHUNKS must be a whole number from 1" >&2; exit 2 ;;
esac
if [ ! -f "$template/$file" ]; then
  echo "$0: '$template/$file' not found" >&2
  exit 2
fi
width=${#chunks}
[ "$width" -ge 2 ] || width=2

# Check the receptor file and count its receptors before writing anything.
classify='
function kind(line,   f, n, k) {
  sub(/\r$/, "", line)
  n = split(line, f, " ")
  if (n == 0) return "blank"
  if (substr(f[1], 1, 2) == "**") return "comment"
  k = toupper(f[1])
  if (k == "RE" && n > 1) k = toupper(f[2])
  if (k == "DISCCART" || k == "DISCPOLR" || k == "EVALCART") return "receptor"
  return k
}'
count=$(awk "$classify"'
  { k = kind($0) }
  k == "receptor" { n++; next }
  k == "blank" || k == "comment" { next }
  k == "ELEVUNIT" && n == 0 { next }
  {
    # A network or an included file cannot be cut line by line (see README).
    printf "%s line %d: %s: only discrete receptors are cut by this script\n", FILENAME, NR, k > "/dev/stderr"
    bad = 1; exit
  }
  END { if (!bad) print n + 0 }' "$template/$file")
[ -n "$count" ] || exit 1
if [ "$count" -lt "$chunks" ]; then
  echo "$0: $count receptors cannot make $chunks chunks" >&2
  exit 1
fi

rm -f "$study.part"
if [ -e "$study" ]; then
  echo "$0: '$study' exists already: a new cut is a new study (remove it, and its runs, first)" >&2
  exit 1
fi
i=1
while [ "$i" -le "$chunks" ]; do
  dir=$(printf '%s-%0*d' "$prefix" "$width" "$i")
  if [ -e "$dir" ]; then
    echo "$0: '$dir' exists already" >&2
    exit 1
  fi
  i=$((i + 1))
done
i=1
while [ "$i" -le "$chunks" ]; do
  dir=$(printf '%s-%0*d' "$prefix" "$width" "$i")
  cp -R "$template" "$dir"
  echo "$dir"
  echo "$dir" >>"$study.part"
  i=$((i + 1))
done

# Chunk c holds receptors n*(c-1)/k+1 to n*c/k, so the sizes differ by at most one.
awk -v n="$count" -v k="$chunks" -v prefix="$prefix" -v width="$width" -v name="$file" "$classify"'
  function out(c) { return sprintf("%s-%0*d/%s", prefix, width, c, name) }
  BEGIN { c = 1; bound = int(n / k) }
  {
    t = kind($0)
    if (t == "receptor") {
      r++
      while (r > bound) { c++; bound = int(n * c / k) }
    }
    if (r == 0) { for (j = 1; j <= k; j++) print > out(j) }
    else print > out(c)
  }' "$template/$file"
mv "$study.part" "$study"
