#!/usr/bin/env bash
# The PNG dump's compression against optipng -o1, in a Release build:
#   1. zyrsat draws real frames at 1920 x 1080 as PNG dumps (GINI and AREA
#      samples with maps, grid, bar and labels; the first frame of the
#      generated infrared loop);
#   2. bench_png encodes each frame's palette entries with the writers'
#      setting (Z_RLE, Up filter) and the other trials (CPU time of the
#      encode alone, best of Google Benchmark's repetitions);
#   3. optipng -o1 of the same file (best CPU time of REPEAT runs, its
#      decoding included, which is a small part of it).
# Each line gives both sizes and times; the trials follow as bench_png
# prints them.
#
# Usage: bench/bench_png.sh [build-dir]   (default build-bench-rel)
# ZYR_SHARED_DATA overrides the sample folder (default ../shared/data).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
command -v optipng >/dev/null || { echo "bench_png: needs optipng" >&2; exit 1; }

bench_build "$build" zyrsat make_demo_loop
if [ ! -x "$build/bench/bench_png" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZYR_BENCH=ON -DZYR_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target bench_png >/dev/null
fi
bench_workdir

draw() {  # output name, then zyrsat's arguments
  local out=$1
  shift
  env -u DISPLAY "$zyrsat" -b -de d,mem -ge 1920x1080 -of "png=$work/$out" "$@" >/dev/null 2>&1 && [ -s "$out" ] ||
    echo "  (not drawn: $out)" >&2
}
lamb="lamb,38,-95,1920,1080,0.035,0.035"
west="lamb,38,-115,1920,1080,0.03,0.03"
draw east_ir.png -inp awip -pd "$lamb" -pp irbar,lalo=10 -la Bench "$data/gini/EAST-CONUS_4km_12.0_20050912_0600.gini"
draw west_39.png -inp awip -pd "$west" -pp bar "$data/gini/WEST-CONUS_4km_3.9_20050912_2130.gini"
draw west_wv.png -inp awip -pd "$west" -pp bar "$data/gini/WEST-CONUS_4km_WV_20151208_2200.gini"
draw super_ir.png -inp awip -pd "lamb,38,-95,1920,1080,0.05,0.05" -pp irbar "$data/gini/SUPER-NATIONAL_8km_IR_20050911_2345.gini"
draw area_wv.png -pd "$lamb" -pp bar "$data/area/cmx3g8_wv_1998.260_0745_mcidas.ara"
"$bin/make_demo_loop" "$work/sat" --frames 1 >files.txt
draw loop_00.png -pd "$lamb" -pp irbar "$(head -n 1 files.txt)"
frames=(*.png)
[ ${#frames[@]} -gt 0 ] || { echo "bench_png: no frames drawn" >&2; exit 1; }

ZYR_PNG_FRAMES=$(printf '%s:' "${frames[@]/#/$work/}") "$bin/bench/bench_png" \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=false --benchmark_format=csv 2>/dev/null |
  grep '^"' | grep -v '_mean\|_median\|_stddev\|_cv' >trials.csv
# Best CPU time (ms) and size (KB) of one frame's trial: name,iterations,real,cpu,unit,...,KB
best() { awk -F, -v n="\"$1/$2\"" '$1 == n && (b == "" || $4 < b) {b = $4; k = $NF} END {printf "%s %s", b, k}' trials.csv; }

echo "PNG dump against optipng -o1 ($build, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
printf '  %-13s %22s %26s %14s\n' frame "zyrsat (Z_RLE, Up)" "optipng -o1" "size, time"
for f in "${frames[@]}"; do
  read -r ms kb <<<"$(best "$f" rle_up)"
  read -r _ cpu _ <<<"$(bench_measure optipng -o1 -quiet -clobber -out "opt_$f" "$f")"
  okb=$(awk -v b="$(stat -c %s "opt_$f")" 'BEGIN {print b / 1024}')
  awk -v f="$f" -v ms="$ms" -v kb="$kb" -v oms="$(awk -v c="$cpu" 'BEGIN {print c * 1000}')" -v okb="$okb" \
    'BEGIN {printf "  %-13s %8.1f KB %7.2f ms %10.1f KB %9.1f ms %6.2fx %6.3fx\n", f, kb, ms, okb, oms, kb / okb, ms / oms}'
done
echo "  trials (CPU ms, KB; best of 3):"
awk -F, '{gsub(/"/, "", $1); n = $1; if (!(n in b) || $4 < b[n]) {b[n] = $4; k[n] = $NF}; if (!(n in seen)) {seen[n] = 1; order[++m] = n}}
  END {for (i = 1; i <= m; i++) printf "    %-24s %7.2f ms %8.1f KB\n", order[i], b[order[i]], k[order[i]]}' trials.csv
