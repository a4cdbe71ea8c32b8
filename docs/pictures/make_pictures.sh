#!/bin/sh
# Draws the README's pictures into docs/ from the runs in the repository and
# two long runs written by long_run.py (in a scratch folder, not kept), then
# renders them to PNG with rsvg-convert (librsvg2-bin).
# Usage, from the top folder after a build: sh docs/pictures/make_pictures.sh build
set -eu
build=$(cd "${1:-build}" && pwd)
top=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
inspect="$build/kestrel-inspect"
cp -r examples/sample "$work/sample"
cp -r tests/data/networks/allsrcs-networks/input "$work/allsrcs"
cp -r tests/data/networks/aertest-polar/input "$work/polar"
python3 docs/pictures/long_run.py "$work/year" 2016 1
python3 docs/pictures/long_run.py "$work/decade" 2010 10
for run in sample allsrcs polar year decade; do (cd "$work/$run" && "$build/kestrel" >/dev/null); done
"$inspect" --svg docs/sample-map.svg --svg-series docs/sample-series.svg "$work/sample/sample_01h.bin.gdx" >/dev/null
"$inspect" --svg docs/allsrcs-stack-map.svg --svg-series docs/allsrcs-stack-series.svg \
  "$work/allsrcs/ALLSRCS_STACK_01H.BIN.gdx" >/dev/null
"$inspect" --svg docs/polar-map.svg "$work/polar/AERTEST_01H.BIN.gdx" >/dev/null
"$inspect" --svg docs/polar-filled-map.svg --filled \
  --title "SO2, 1-hour: highest value at each receptor, µg/m³, bands between the contours" \
  "$work/polar/AERTEST_01H.BIN.gdx" >/dev/null
"$inspect" --svg-series docs/year-series.svg "$work/year/LONG_01H.BIN.gdx" >/dev/null
"$inspect" --svg-series docs/decade-series.svg "$work/decade/LONG_01H.BIN.gdx" >/dev/null
for svg in docs/*.svg; do rsvg-convert "$svg" -o "${svg%.svg}.png"; done
cd "$top"
