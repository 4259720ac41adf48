#!/usr/bin/env bash
# Times one 1920 x 1080 zyrsat frame end to end (read the EAST-CONUS GINI
# image, remap onto a Lambert domain, enhance, draw maps, grid, bar and
# labels, dump a PNG) on the headless window ("-de d,mem") and on a window
# of a 24-bit Xvfb started here, alternating the two in the same run:
# best of five wall-clock times, best CPU time (for the window, the program's
# and the X server's together) and peak RSS of the program (GNU time -v), and
# whether the two PNGs hold the same pixels (python3 with PIL).
#
# Usage: bench/bench_headless.sh [build-dir]   (default build-mem-rel)
# ZYR_SHARED_DATA overrides the sample folder (default ../shared/data).
set -euo pipefail
cd "$(dirname "$0")/.."
bench_default_build=build-mem-rel
source bench/bench_lib.sh

bench_build "$build" zyrsat
bench_workdir
bench_xvfb 171 199
[ -n "$xvfb_pid" ] || { echo "bench_headless: no free display number for Xvfb" >&2; exit 1; }

gini=$data/gini/EAST-CONUS_4km_12.0_20050912_0600.gini
if ! head -c 4 "$gini" 2>/dev/null | grep -q TIGE; then
  gini=$data/gini/WEST-CONUS_4km_3.9_20050912_2130.gini
fi
cp "$gini" in.gini
domain="lamb,38,-95,1920,1080,0.035,0.035"

# CPU seconds (user + system) the X server has used so far.
server_cpu() { awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) / hz}' "/proc/$xvfb_pid/stat"; }

# One run: wall seconds, peak RSS in KB and CPU seconds on stdout; the CPU
# counts the X server's share for the window run.
run() {
  local s0 s1
  s0=$(server_cpu)
  /usr/bin/time -v -o time.txt env -u DISPLAY "$zyrsat" -b -inp awip -pd "$domain" -ge 1920x1080 \
    -pp irbar,lalo=10 -la "Bench" -de "d,$1" -out_file "png=$work/$2.png" in.gini </dev/null >run.log 2>&1 ||
    { cat run.log time.txt >&2; return 1; }
  s1=$(server_cpu)
  [ "$1" = mem ] && s1=$s0
  awk -F': ' -v server="$(awk -v a="$s0" -v b="$s1" 'BEGIN {print b - a}')" '
    /Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; t = s}
    /User time \(seconds\)/ {u = $2} /System time \(seconds\)/ {y = $2}
    /Maximum resident set size/ {r = $2} END {print t, r, u + y + server}' time.txt
}

less() { awk -v a="$1" -v b="$2" 'BEGIN {exit !(a < b)}'; }
declare -A best rss cpu
for _ in 1 2 3 4 5; do
  for which in mem x; do
    d=mem
    [ "$which" = x ] && d=$xdisp
    read -r t r c < <(run "$d" "$which")
    if [ -z "${best[$which]:-}" ] || less "$t" "${best[$which]}"; then best[$which]=$t; fi
    if [ -z "${cpu[$which]:-}" ] || less "$c" "${cpu[$which]}"; then cpu[$which]=$c; fi
    [ "${rss[$which]:-0}" -lt "$r" ] && rss[$which]=$r
  done
done

echo "one 1920x1080 frame end to end -> PNG ($build, $(nproc) cores, best of 5)"
for which in mem x; do
  label=headless
  [ "$which" = x ] && label="Xvfb 24-bit"
  printf '  %-12s %7.3f s wall  %6.3f s CPU  %7.1f MB peak RSS\n' "$label" "${best[$which]}" "${cpu[$which]}" \
    "$(awk -v k="${rss[$which]}" 'BEGIN {print k / 1024}')"
done
if /usr/bin/python3 -c 'import PIL' 2>/dev/null; then
  same=$(/usr/bin/python3 -c '
import sys
from PIL import Image, ImageChops
a, b = (Image.open(f).convert("RGB") for f in sys.argv[1:3])
print("identical" if a.size == b.size and ImageChops.difference(a, b).getbbox() is None else "different")
' mem.png x.png)
  echo "  pictures: $same"
fi
