#!/usr/bin/env bash
# A loop in one process against a process per frame, in a Release build.
# The loop is 24 generated infrared AREA files of one satellite position
# remapped onto one 1920 x 1080 Lambert domain on the headless window
# ("-de d,mem"), with the colour bar and maps:
#   1. one frame as a process (its first file to one PNG): the unit;
#   2. the per-frame run, as scripts loop today: one zyrsat process per
#      file in turn, each writing its PNG (the reference);
#   3. the loop in one process to 24 PNG dumps (the remap's table built
#      once; each frame's PNG compressed on a worker thread while the next
#      is drawn, two frames in flight), and the same with ZYR_THREADS=1
#      (one thread for the dumps and the remap);
#   4. the loop in one process to one animated GIF;
#   5. the remap gathered through a reused table against a plain gather of
#      the same pixels (bench_remap: 3712^2 disc onto 2000^2, best of 5).
# Each line gives the best wall-clock and CPU time (user + system, all
# threads) of REPEAT runs (default 5) and the peak resident size (GNU
# time -v).  Goals: the 24 PNGs in at most 0.5 s wall on 2 cores and at
# most 12 times one frame; peak RSS at most 64 MB and at most the input
# files + 2 x 1920x1080 at 4 bytes + the index table (1920x1080 at 4 bytes)
# + 20 MB; the table's gather at most 1.3 times the plain gather.
#
# Usage: bench/bench_loop.sh [build-dir]   (default build-bench-rel)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

bench_build "$build" zyrsat make_demo_loop
if [ ! -x "$build/bench/bench_remap" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZYR_BENCH=ON -DZYR_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target bench_remap >/dev/null
fi
bench_workdir
"$bin/make_demo_loop" "$work/sat" --frames 24 >files.txt
mapfile -t files <files.txt
loop=(-b -de d,mem -pd "lamb,38,-95,1920,1080,0.035,0.035" -ge 1920x1080 -pp irbar)
measure() { bench_measure env -u DISPLAY "$@"; }
field() { awk -v i="$1" '{print $i}' <<<"$2"; }

echo "zyrsat loops ($build, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), best of $repeat)"
one=$(measure "$zyrsat" "${loop[@]}" -of "png=$work/one.png" "${files[0]}")
bench_report "one frame -> PNG (a process)" "$one"
per=$(measure sh -c 'z=$1; shift; for f; do "$z" -b -de d,mem -pd "lamb,38,-95,1920,1080,0.035,0.035" \
  -ge 1920x1080 -pp irbar -of "png=$(basename "$f" .area).png" "$f" || exit 1; done' sh "$zyrsat" "${files[@]}")
bench_report "24 frames, a process each" "$per"
png=$(measure "$zyrsat" "${loop[@]}" -of "png=$work/f_%i.png" "${files[@]}")
bench_report "24 frames in one process -> 24 PNG" "$png" 0.5
bench_report "  the same, ZYR_THREADS=1" "$(measure ZYR_THREADS=1 "$zyrsat" "${loop[@]}" -of "png=$work/s_%i.png" "${files[@]}")"
bench_report "24 frames in one process -> GIF" "$(measure "$zyrsat" "${loop[@]}" -pp irbar,anim=loop.gif "${files[@]}")"
awk -v l="$(field 1 "$png")" -v o="$(field 1 "$one")" -v p="$(field 1 "$per")" \
  'BEGIN {printf "  24 PNGs: %.1f x one frame (goal 12: %s), %.2f x the per-frame run\n", l / o, l <= 12 * o ? "met" : "missed", l / p}'
insize=$(du -ck "${files[@]}" | tail -n 1 | cut -f1)
rss=$(field 3 "$png")
budget=$((insize + 3 * 1920 * 1080 * 4 / 1024 + 20 * 1024))
echo "  peak RSS $((rss / 1024)) MB (goal 64 MB: $([ "$rss" -le $((64 * 1024)) ] && echo met || echo missed));" \
  "input $((insize / 1024)) MB, budget $((budget / 1024)) MB (input + 2 x 1920x1080x4 + table + 20 MB):" \
  "$([ "$rss" -le "$budget" ] && echo met || echo missed)"
echo "  $(ls f_*.png | wc -l) PNG files, $(du -ck f_*.png | tail -n 1 | cut -f1) KB; animated GIF $(($(stat -c %s loop.gif) / 1024)) KB"

"$bin/bench/bench_remap" --benchmark_filter='BM_remap_near_table|BM_gather$' --benchmark_repetitions="$repeat" \
  --benchmark_format=csv 2>/dev/null | grep '^"BM_' | grep -v '_mean\|_median\|_stddev\|_cv' >remap.csv
awk -F, '{gsub(/"/, "", $1); n = $1; if (!(n in b) || $3 < b[n]) b[n] = $3}
  END {t = b["BM_remap_near_table"]; g = b["BM_gather"];
       printf "  remap through the reused table %.1f ms, plain gather %.1f ms (wall, best of %d): %.2f x (goal 1.3: %s)\n",
              t, g, '"$repeat"', t / g, t <= 1.3 * g ? "met" : "missed"}' remap.csv
