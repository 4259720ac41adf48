#!/usr/bin/env bash
# A loop on an X window (a 24-bit Xvfb) with the map overlay put from a layer
# against drawn on every frame (ZYR_MAP_LAYER=0), in a Release build.  The
# loop is 24 generated infrared AREA files of one satellite position
# remapped onto one 1920 x 1080 Lambert domain, with the colour bar, the
# maps and a 5-degree latitude/longitude grid:
#   1. the frames drawn in the window only (-b: the loop is built, then the
#      program ends), where the map's share of a frame shows most;
#   2. the same loop dumped to 24 PNGs.
# Each line gives the best wall-clock and client CPU time (user + system) of
# REPEAT runs (default 5), the peak resident size (GNU time -v), and the X
# server's CPU per run (its /proc times over all REPEAT runs, averaged): on
# a window the drawing itself is the server's work.
#
# Usage: bench/bench_xloop.sh [build-dir]   (default build-bench-rel)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

command -v Xvfb >/dev/null || { echo "${0##*/}: needs Xvfb" >&2; exit 1; }
bench_build "$build" zyrsat make_demo_loop
bench_workdir
bench_xvfb 40 99
[ -n "$xdisp" ] || { echo "${0##*/}: no free display number for Xvfb" >&2; exit 1; }
"$bin/make_demo_loop" "$work/sat" --frames 24 >files.txt
mapfile -t files <files.txt
loop=(-b -de "d,$xdisp" -pd "lamb,38,-95,1920,1080,0.035,0.035" -ge 1920x1080 -pp irbar,lalo=5)

# Clock ticks the X server has run (user + system).
server_ticks() { awk '{print $14 + $15}' "/proc/$xvfb_pid/stat"; }
# One line: label, then the command (run $repeat times).
run() {
  local label=$1 before after r
  shift
  before=$(server_ticks)
  r=$(bench_measure env DISPLAY="$xdisp" "$@")
  after=$(server_ticks)
  bench_report "$label" "$r" | tr -d '\n'
  awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v n="$repeat" \
    'BEGIN {printf "  server %6.3f s CPU a run\n", t / hz / n}'
}

echo "zyrsat loops on Xvfb ($build, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), best of $repeat)"
run "24 frames, map layer" "$zyrsat" "${loop[@]}" "${files[@]}"
run "24 frames, maps drawn each frame" env ZYR_MAP_LAYER=0 "$zyrsat" "${loop[@]}" "${files[@]}"
run "24 frames -> PNG, map layer" "$zyrsat" "${loop[@]}" -of "png=$work/l_%i.png" "${files[@]}"
run "24 frames -> PNG, maps drawn" env ZYR_MAP_LAYER=0 "$zyrsat" "${loop[@]}" -of "png=$work/d_%i.png" "${files[@]}"
# The PNGs carry their creation time: pixels are compared (ImageMagick).
if command -v compare >/dev/null; then
  differ=0
  for f in l_*.png; do
    [ "$(compare -metric AE "$f" "d_${f#l_}" null: 2>&1)" = 0 ] || differ=$((differ + 1))
  done
  echo "  $differ of $(ls l_*.png | wc -l) frames differ in some pixel with and without the layer"
fi
