#!/usr/bin/env bash
# Times zyrsat end to end on a GOES-R fixed-grid netCDF file in a Release
# build: the 5424 x 5424 full-disk rain rate (RRQPE, 2 km) read, remapped,
# coloured by the default value ramp, with maps, grid, bar and labels, and
# written as a PNG on the headless window ("-de d,mem"):
#   1. the whole disk onto a 1920 x 1080 lat/lon frame (every row decoded);
#   2. a CONUS-sized Lambert frame of 1920 x 1080 (4800 x 2700 km), for
#      which the reader decodes only the rows and columns the plot needs.
# Each line gives the best wall-clock time and the best CPU time (user +
# system) of REPEAT runs (default 5) and the peak resident size (GNU time
# -v), then the rows the reader reports decoding.  The library's own read of
# the variable alone is timed by bench_abi (Google Benchmark).
#
# Usage: bench/bench_zyrsat_abi.sh [build-dir]   (default build-bench-rel)
# ZYR_SHARED_DATA overrides the sample folder (default ../shared/data).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

file=$data/abi/OR_ABI-L2-RRQPEF-M6_G16_s20230761510209_e20230761519517_c20230761520040.nc
if [ ! -f "$file" ]; then
  echo "${0##*/}: no sample $file; nothing to time" >&2
  exit 0
fi
bench_build "$build" zyrsat
bench_workdir
cp "$file" in.nc

common=(-b -inp abi -de d,mem -ge 1920x1080 -pp bar,lalo=10 -me out2)
full=(-pd "ll,0,-75,1920,1080,0.15,0.15")
conus=(-pd "lamb,38,-95,1920,1080,0.025,0.025")

# "rows A-B ... of WxH decoded" from the reader's message in the last run.
rows() { sed -n 's/.* rows \([0-9]*\)-\([0-9]*\),.* of \([0-9]*\)x\([0-9]*\) decoded.*/\1 \2 \4/p' run.log | tail -n 1; }

echo "zyrsat on GOES-R netCDF ($build, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), best of $repeat)"
echo "  input $(basename "$file"), $(($(stat -c %s in.nc) / 1024)) KB"
for what in full conus; do
  declare -n dom=$what
  label="full disk -> 1920x1080 lat/lon PNG"
  [ "$what" = conus ] && label="CONUS 1920x1080 Lambert PNG"
  bench_report "$label" "$(bench_measure env -u DISPLAY "$zyrsat" "${common[@]}" "${dom[@]}" -of "png=$work/$what.png" in.nc)"
  read -r first last total <<<"$(rows)"
  if [ -n "${total:-}" ]; then
    echo "    rows decoded: $((last - first + 1)) of $total ($first-$last)"
  else
    echo "    (the reader printed no rows-decoded line)"
  fi
done
