#!/usr/bin/env bash
# Times one plot as an HPGL page against the same plot as a PostScript page:
# the GOES-8 water-vapour AREA file (GVAR navigation) onto the "se" region
# and the EAST-CONUS GINI image onto "us", map, grid, bar and labels, at the
# devices' full page size.  A plotter cannot show the image, so its page
# should cost about what the lines cost: the goal is an HPGL time of at most
# three times the PostScript time or the PostScript time plus 0.5 s,
# whichever is larger.
# Each line gives the best wall-clock time and the best CPU time of REPEAT
# runs (default 5) and the peak resident size.
#
# Usage: bench/bench_pages.sh [build-dir]   (default build-bench-rel)
# ZYR_SHARED_DATA overrides the sample folder (default ../shared/data).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

bench_build "$build" zyrsat
bench_workdir


echo "HPGL and PostScript pages ($build, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), best of $repeat)"
while read -r name type domain file; do
  [ -f "$data/$file" ] || { echo "  $name: $data/$file missing, skipped"; continue; }
  cp "$data/$file" "$name.in"
  plot=(-b -inp "$type" -pd "$domain" -pp irbar,lalo=10 -la Bench)
  ps=$(bench_measure "$zyrsat" "${plot[@]}" -de "p,$work/$name.ps" "$name.in")
  hp=$(bench_measure "$zyrsat" "${plot[@]}" -de "h,$work/$name.hpgl" "$name.in")
  bench_report "$name -> PostScript" "$ps"
  bench_report "$name -> HPGL" "$hp"
  read -r tp _ <<<"$ps"
  read -r th _ <<<"$hp"
  awk -v h="$th" -v p="$tp" 'BEGIN {g = 3 * p; if (p + 0.5 > g) g = p + 0.5;
    printf "  %-26s HPGL %.3f s, goal %.3f s: %s\n", "", h, g, h <= g ? "met" : "missed"}'
done <<'LIST'
area area se area/cmx3g8_wv_1998.260_0745_mcidas.ara
gini awip us gini/EAST-CONUS_8km_13.3_20050912_2240.gini
LIST
