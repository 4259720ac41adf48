#!/usr/bin/env bash
# Times zyrsat end to end in a Release build:
#   1. one frame: read the 1280 x 1280 EAST-CONUS GINI image, remap it onto a
#      1920 x 1080 Lambert domain, enhance, draw maps, grid, bar and labels,
#      write a PNG: on the headless window ("-de d,mem"), on a window of a
#      24-bit Xvfb started here (the X path: image transfer to the server and
#      the read-back of the dump), and as a PostScript page;
#   2. a 24-frame loop of generated infrared AREA files onto the same domain,
#      a PNG dump per frame on the headless window, and as PostScript pages;
#   3. gdalwarp -r near of a 1280 x 1280 byte image in the GINI's projection
#      to the same size and projection, as a reference.
# Each line gives the best wall-clock time and the best CPU time (user +
# system, all threads) of REPEAT runs (default 5) and the peak resident size
# (GNU time -v).  The frame's memory budget is the input file plus two
# pictures (1920 x 1080 at 4 bytes a pixel, as the window keeps it) plus
# 20 MB.  ZYR_THREADS=1 in the environment gives one-thread figures.
#
# Usage: bench/bench_zyrsat.sh [build-dir]   (default build-bench-rel)
# ZYR_SHARED_DATA overrides the sample folder (default ../shared/data).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

bench_build "$build" zyrsat make_demo_loop
bench_workdir
# A virtual display large enough for the 1920 x 1080 window.
bench_xvfb 140 170
measure() { bench_measure "$@"; }

gini=$data/gini/EAST-CONUS_4km_12.0_20050912_0600.gini
if ! head -c 4 "$gini" 2>/dev/null | grep -q TIGE; then
  echo "note: $gini is missing or not a GINI product; using the 1100 x 1280 WEST-CONUS image" >&2
  gini=$data/gini/WEST-CONUS_4km_3.9_20050912_2130.gini
fi
cp "$gini" in.gini
domain="lamb,38,-95,1920,1080,0.035,0.035"
frame=(-b -inp awip -pd "$domain" -ge 1920x1080 -pp irbar,lalo=10 -la Bench)
insize=$(stat -c %s in.gini)

echo "zyrsat end to end ($build, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), best of $repeat)"
headless=$(measure env -u DISPLAY "$zyrsat" "${frame[@]}" -de d,mem -of "png=$work/mem.png" in.gini)
bench_report "one frame, headless -> PNG" "$headless" 0.1
if [ -n "$xdisp" ]; then
  bench_report "one frame, Xvfb window -> PNG" \
    "$(measure env DISPLAY="$xdisp" "$zyrsat" "${frame[@]}" -of "png=$work/x.png" in.gini)"
fi
bench_report "one frame -> PostScript" "$(measure "$zyrsat" "${frame[@]}" -de "p,$work/frame.ps" in.gini)"
read -r _ _ rss <<<"$headless"
budget=$((insize / 1024 + 2 * 1920 * 1080 * 4 / 1024 + 20 * 1024))
echo "  input $((insize / 1024)) KB; memory budget $((budget / 1024)) MB (input + 2 x 1920x1080x4 + 20 MB):" \
  "headless peak $((rss / 1024)) MB, $([ "$rss" -le "$budget" ] && echo met || echo missed)"
if command -v identify >/dev/null; then
  echo "  PNG written: $(identify -format '%wx%h %m' "$work/mem.png" 2>/dev/null || echo none)," \
    "$(($(stat -c %s "$work/mem.png") / 1024)) KB"
fi

"$bin/make_demo_loop" "$work/sat" --frames 24 >files.txt
mapfile -t files <files.txt
loop=(-b -pd "$domain" -ge 1920x1080 -pp irbar)
bench_report "24-frame loop, headless -> 24 PNG" \
  "$(measure env -u DISPLAY "$zyrsat" "${loop[@]}" -de d,mem -of "png=$work/f_%i.png" "${files[@]}")" 3
bench_report "24-frame loop -> PostScript" "$(measure "$zyrsat" "${loop[@]}" -de "p,$work/loop.ps" "${files[@]}")"
echo "  loop input $(du -ck "${files[@]}" | tail -n 1 | cut -f1) KB, $(ls f_*.png 2>/dev/null | wc -l) PNG files"

if command -v gdalwarp >/dev/null && command -v gdal_create >/dev/null; then
  gdal_create -q -of GTiff -outsize 1280 1280 -bands 1 -ot Byte -burn 100 \
    -a_srs "+proj=lcc +lat_1=25 +lat_2=25 +lat_0=25 +lon_0=-95 +R=6371200" \
    -a_ullr -2500000 3800000 2620000 -1320000 src.tif
  bench_report "gdalwarp -r near 1280^2 -> 1920x1080" \
    "$(measure gdalwarp -q -overwrite -r near -ts 1920 1080 \
      -t_srs "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=38 +lon_0=-95 +R=6371200" src.tif dst.tif)"
else
  echo "  (gdal-bin not installed: no gdalwarp reference)"
fi
