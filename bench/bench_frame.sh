#!/usr/bin/env bash
# One 1920 x 1080 frame end to end as a process, against gdalwarp's remap of
# the same job, in one run (Release build, best of REPEAT runs, default 5):
#   - zyrsat reading the 1280 x 1280 EAST-CONUS GINI image, remapping it onto
#     a 1920 x 1080 Lambert domain, enhancing, drawing maps, grid, colour bar
#     and labels, and writing a PNG (headless window);
#   - the same frame from a GeoTIFF holding the GINI's pixels on its grid
#     (made here with python3's zlib and gdal_translate), the file gdalwarp
#     reads;
#   - gdalwarp -r near of that GeoTIFF onto the same 1920 x 1080 grid (the
#     domain's Lambert projection, 30/60 N standard parallels, on the sphere
#     of 6371.22 km, 3.5 km pixels centred on 38 N 95 W).
# Each line gives the best wall-clock and the best CPU time (user + system,
# all threads) and the peak resident size; the last lines give the frame's
# wall time against the goals (40 ms, 0.3 x gdalwarp).
#
# On a machine shared with other work, BENCH_RT=1 (as root) runs every
# measured command at a real-time priority (chrt -f 10), so that waiting for
# a core does not count as the command's wall time.
#
# Usage: bench/bench_frame.sh [build-dir]   (default build-bench-rel)
# ZYR_SHARED_DATA overrides the sample folder (default ../shared/data).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

gini=$data/gini/EAST-CONUS_4km_12.0_20050912_0600.gini
[ -r "$gini" ] || { echo "${0##*/}: $gini is missing" >&2; exit 1; }
for tool in gdalwarp gdal_translate cs2cs python3; do
  command -v "$tool" >/dev/null || { echo "${0##*/}: needs $tool (gdal-bin, proj-bin, python3)" >&2; exit 1; }
done
bench_build "$build" zyrsat
bench_workdir

# The GINI's pixels (after its 21-byte header and 512-byte product block) on
# its own grid: Lambert tangent at 25 N, 4063.5 m pixels, the first point
# (16.3691 N, 113.1333 W) the centre of the lower-left pixel.
python3 - "$gini" <<'PY'
import sys, zlib
d = open(sys.argv[1], 'rb').read()
out, pos = b'', 21
while pos < len(d):
    z = zlib.decompressobj()
    out += z.decompress(d[pos:])
    if not z.eof:
        break
    pos = len(d) - len(z.unused_data)
open('gini.bil', 'wb').write(out[533:533 + 1280 * 1280])
open('gini.hdr', 'w').write('BYTEORDER M\nLAYOUT BIL\nNROWS 1280\nNCOLS 1280\nNBANDS 1\nNBITS 8\n')
PY
lcc_gini="+proj=lcc +lat_1=25 +lat_2=25 +lat_0=25 +lon_0=-95 +R=6371200 +units=m"
read -r x y _ <<<"$(echo "-113.1333 16.3691" | cs2cs -f %.3f +proj=latlong +R=6371200 +to $lcc_gini)"
ullr=$(awk -v x="$x" -v y="$y" 'BEGIN {d = 4063.5; printf "%.3f %.3f %.3f %.3f", x - d / 2, y - d / 2 + 1280 * d, x - d / 2 + 1280 * d, y - d / 2}')
# shellcheck disable=SC2086
gdal_translate -q -of GTiff -a_srs "$lcc_gini" -a_ullr $ullr gini.bil src.tif
cp "$gini" in.gini

# Best wall and CPU time of $repeat runs in microseconds (GNU time gives
# hundredths of a second, too coarse for frames of tens of milliseconds):
# "best-wall-s best-cpu-s peak-rss-kb", as bench_measure prints.
rt=()
[ "${BENCH_RT:-0}" = 1 ] && rt=(chrt -f 10)
measure() {
  python3 - "$repeat" "${rt[@]}" "$@" <<'PY'
import os, subprocess, sys, time
n, cmd = int(sys.argv[1]), sys.argv[2:]
wall, cpu, rss = [], [], 0
for _ in range(n):
    t0 = time.perf_counter()
    p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, ru = os.wait4(p.pid, 0)
    wall.append(time.perf_counter() - t0)
    if status != 0:
        sys.exit(p.stderr.read().decode(errors="replace") + "failed: " + " ".join(cmd))
    cpu.append(ru.ru_utime + ru.ru_stime)
    rss = max(rss, ru.ru_maxrss)
print("%.4f %.4f %d" % (min(wall), min(cpu), rss))
PY
}

domain="lamb,38,-95,1920,1080,0.035,0.035"
frame=(-b -de d,mem -pd "$domain" -ge 1920x1080 -pp irbar,lalo=10 -la Bench)
echo "one 1920x1080 frame end to end ($build, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg), best of $repeat${rt:+, real-time priority})"
gini_run=$(measure env -u DISPLAY "$zyrsat" "${frame[@]}" -inp awip -of "png=$work/gini.png" in.gini)
bench_report "zyrsat GINI -> PNG" "$gini_run" 0.04
tiff_run=$(measure env -u DISPLAY "$zyrsat" "${frame[@]}" -inp tiff -of "png=$work/tiff.png" src.tif)
bench_report "zyrsat GeoTIFF -> PNG" "$tiff_run" 0.04
warp_run=$(measure gdalwarp -q -overwrite -r near -te -3360000 -1890000 3360000 1890000 -ts 1920 1080 \
  -t_srs "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=38 +lon_0=-95 +R=6371220 +units=m" src.tif warp.tif)
bench_report "gdalwarp -r near GeoTIFF -> 1920x1080" "$warp_run"
read -r gw gc _ <<<"$gini_run"
read -r tw tc _ <<<"$tiff_run"
read -r ww wc _ <<<"$warp_run"
awk -v g="$gw" -v t="$tw" -v w="$ww" -v gc="$gc" -v tc="$tc" -v wc="$wc" 'BEGIN {
  printf "  frame / gdalwarp, wall: GINI %.2f, GeoTIFF %.2f (goal 0.3: %s); CPU: GINI %.2f, GeoTIFF %.2f\n",
    g / w, t / w, (g <= 0.3 * w && t <= 0.3 * w) ? "met" : "missed", gc / wc, tc / wc
}'
