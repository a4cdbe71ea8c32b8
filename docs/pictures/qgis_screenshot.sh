#!/bin/sh
# Opens a GeoJSON or KML file of kestrel-inspect in QGIS on a virtual screen
# (Xvfb), styled by qgis_project.py, and takes a screenshot of QGIS's window
# with ImageMagick's import.
# Usage: sh docs/pictures/qgis_screenshot.sh FILE.geojson|FILE.kml OUT.png
set -eu
file=$(realpath "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
display=:$((90 + $$ % 50))
Xvfb "$display" -screen 0 1400x900x24 >/dev/null 2>&1 &
xvfb=$!
qgis_pid=
cleanup() {
  [ -n "$qgis_pid" ] && kill "$qgis_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
/usr/bin/python3 "$here/qgis_project.py" "$file" "$work/map.qgs" >/dev/null 2>&1
unset QT_QPA_PLATFORM
DISPLAY=$display qgis --nologo --noversioncheck --noplugins --profiles-path "$work/profile" \
  --project "$work/map.qgs" >/dev/null 2>&1 &
qgis_pid=$!
# QGIS draws its window, then the layers: wait for both.
window=
for _ in $(seq 60); do
  sleep 1
  window=$(DISPLAY=$display xwininfo -root -tree | awk '/— QGIS"/ {print $1; exit}')
  [ -n "$window" ] && break
done
[ -n "$window" ] || { echo "QGIS did not open its window"; exit 1; }
sleep 15
DISPLAY=$display import -window "$window" "$out"
