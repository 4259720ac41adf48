#!/usr/bin/env bash
# Times zyrsat end to end in a Release build:
#   1. one frame: read the 1280 x 1280 EAST-CONUS GINI image, remap it onto a
#      1920 x 1080 Lambert domain, enhance, draw maps and labels, write a PNG
#      (window picture dumped from a virtual X display) and a PostScript page;
#   2. a 24-frame loop of generated infrared AREA files onto "us", written as
#      a PostScript file with a page per frame;
# reporting the best of three wall-clock times and the peak resident size
# (GNU time -v).  With gdal-bin installed, gdalwarp -r near of a 1280 x 1280
# byte image to the same output size is timed as a reference.
#
# Usage: bench/bench_zyrsat.sh [build-dir]   (default build-bench-rel)
# ZYR_SHARED_DATA overrides the sample folder (default ../shared/data).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-bench-rel}
data=${ZYR_SHARED_DATA:-$root/../shared/data}
[ -x /usr/bin/time ] || { echo "bench_zyrsat: needs GNU time (package time)" >&2; exit 1; }

if [ ! -x "$build/zyrsat" ] || [ ! -x "$build/make_demo_loop" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZYR_BENCH=OFF -DZYR_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target zyrsat make_demo_loop >/dev/null
fi
zyrsat=$root/$build/zyrsat
[ -x "$zyrsat" ] || zyrsat=$build/zyrsat
work=$(mktemp -d)
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cd "$work"

# A virtual display large enough for the 1920 x 1080 window.
for n in $(seq 140 170); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 2048x1536x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  break
done

# Best wall time in seconds and the peak RSS in MB of three runs.
measure() {
  local best="" rss=0 t r
  for _ in 1 2 3; do
    /usr/bin/time -v -o time.txt "$@" </dev/null >run.log 2>&1 || { cat run.log time.txt >&2; return 1; }
    t=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' time.txt)
    r=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.txt)
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=$t; fi
    [ "$r" -gt "$rss" ] && rss=$r
  done
  printf '%8.3f s  %7.1f MB peak RSS' "$best" "$(awk -v k="$rss" 'BEGIN {print k / 1024}')"
}

gini=$data/gini/EAST-CONUS_4km_12.0_20050912_0600.gini
if ! head -c 4 "$gini" 2>/dev/null | grep -q TIGE; then
  echo "note: $gini is missing or not a GINI product; using the 1100 x 1280 WEST-CONUS image" >&2
  gini=$data/gini/WEST-CONUS_4km_3.9_20050912_2130.gini
fi
domain="lamb,38,-95,1920,1080,0.035,0.035"
insize=$(stat -c %s "$gini")

echo "zyrsat end to end ($build, $(nproc) cores)"
printf '  one frame -> PNG 1920x1080:   %s\n' \
  "$(measure "$zyrsat" -b -inp awip -pd "$domain" -ge 1920x1080 -of "png=$work/frame.png" "$gini")"
printf '  one frame -> PostScript:      %s\n' \
  "$(measure "$zyrsat" -b -inp awip -pd "$domain" -de "p,$work/frame.ps" "$gini")"
if command -v identify >/dev/null; then
  echo "  PNG written: $(identify -format '%wx%h %m' "$work/frame.png" 2>/dev/null || echo none)"
fi
echo "  input $((insize / 1024)) KB, picture 1920x1080 = $((1920 * 1080 / 1024)) KB of pixels"

"$root/$build/make_demo_loop" "$work/sat" --frames 24 >files.txt 2>/dev/null ||
  "$build/make_demo_loop" "$work/sat" --frames 24 >files.txt
mapfile -t files <files.txt
printf '  24-frame loop -> PostScript:  %s\n' \
  "$(measure "$zyrsat" -b -pd us -pp irbar -de "p,$work/loop.ps" "${files[@]}")"
echo "  loop input $(du -ck "${files[@]}" | tail -n 1 | cut -f1) KB"

if command -v gdalwarp >/dev/null && command -v gdal_create >/dev/null; then
  gdal_create -q -of GTiff -outsize 1280 1280 -bands 1 -ot Byte -burn 100 \
    -a_srs "+proj=lcc +lat_1=25 +lat_2=25 +lat_0=25 +lon_0=-95 +R=6371200" \
    -a_ullr -2500000 3800000 2620000 -1320000 src.tif
  printf '  gdalwarp -r near 1280x1280 -> 1920x1080: %s\n' \
    "$(measure gdalwarp -q -overwrite -r near -ts 1920 1080 \
      -t_srs "+proj=lcc +lat_1=25 +lat_2=25 +lat_0=38 +lon_0=-95 +R=6371200" src.tif dst.tif)"
else
  echo "  (gdal-bin not installed: no gdalwarp reference)"
fi
