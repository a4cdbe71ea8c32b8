#!/bin/sh
# Draws the README's pictures into docs/ from the runs in the repository and
# two long runs written by long_run.py (in a scratch folder, not kept): the
# maps through kestrel-inspect's own --png, the series through rsvg-convert
# (librsvg2-bin). Where QGIS and Xvfb are installed (qgis, xvfb,
# imagemagick), also the screenshots of the GeoJSON and KML opened in QGIS.
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
cp -r tests/data/testgas-deposition/input "$work/gas"
python3 docs/pictures/long_run.py "$work/year" 2016 1
python3 docs/pictures/long_run.py "$work/decade" 2010 10
for run in sample allsrcs polar gas year decade; do (cd "$work/$run" && "$build/kestrel" >/dev/null); done
map() { # map NAME ARGS...: docs/NAME.svg and docs/NAME.png
  name=$1
  shift
  "$inspect" --svg "docs/$name.svg" --png "docs/$name.png" --dpi 96 "$@" >/dev/null
}
map sample-map "$work/sample/sample_01h.bin.gdx"
map allsrcs-stack-map "$work/allsrcs/ALLSRCS_STACK_01H.BIN.gdx"
map polar-map "$work/polar/AERTEST_01H.BIN.gdx"
map polar-filled-map --filled "$work/polar/AERTEST_01H.BIN.gdx"
map polar-levels-map --filled --levels 196x0.1,0.25,0.5,1 \
  --title "SO2, 1-hour: highest value at each receptor against the 196 µg/m³ standard" "$work/polar/AERTEST_01H.BIN.gdx"
map deposition-map "$work/gas/ALL_01H.BIN.dflx.gdx"
"$inspect" --svg-series docs/sample-series.svg "$work/sample/sample_01h.bin.gdx" >/dev/null
"$inspect" --svg-series docs/allsrcs-stack-series.svg "$work/allsrcs/ALLSRCS_STACK_01H.BIN.gdx" >/dev/null
"$inspect" --svg-series docs/year-series.svg "$work/year/LONG_01H.BIN.gdx" >/dev/null
"$inspect" --svg-series docs/decade-series.svg "$work/decade/LONG_01H.BIN.gdx" >/dev/null
for svg in docs/*-series.svg; do rsvg-convert "$svg" -o "${svg%.svg}.png"; done
# The GIS files of the polar run, its (0, 0) placed at 552000 E, 4178500 N of
# UTM zone 17N, opened in QGIS.
"$inspect" --filled --levels 196x0.1,0.25,0.5,1 --geojson "$work/polar.geojson" --kml "$work/polar.kml" \
  --crs EPSG:32617 --origin 552000,4178500 "$work/polar/AERTEST_01H.BIN.gdx" >/dev/null
if command -v qgis >/dev/null && command -v Xvfb >/dev/null && command -v import >/dev/null; then
  sh docs/pictures/qgis_screenshot.sh "$work/polar.geojson" docs/qgis-geojson.png
  sh docs/pictures/qgis_screenshot.sh "$work/polar.kml" docs/qgis-kml.png
else
  echo "QGIS, Xvfb or ImageMagick's import missing: the QGIS screenshots are not drawn again"
fi
cd "$top"
