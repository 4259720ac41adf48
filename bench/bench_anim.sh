#!/usr/bin/env bash
# Times the animated loop files in a Release build: a 24-frame loop of
# generated infrared AREA files remapped onto a 1920 x 1080 Lambert domain,
#   1. written as per-frame GIF dumps, per-frame PNG dumps, one animated GIF
#      ("anim") and one APNG ("apng"): best wall and CPU times and peak RSS
#      (GNU time -v) of each run of zyrsat;
#   2. the animated files' sizes against gifsicle -O2 of the per-frame GIFs
#      and apngasm (its default 7zip deflate, and plain zlib -z0) of the
#      per-frame PNGs, made in the same run, with the tools' own times.
# On a virtual X display (Xvfb), and headless ("-de d,mem") when that
# workstation is built in.
#
# Usage: bench/bench_anim.sh [build-dir]   (default build-anim-rel)
# REPEAT sets the runs per measurement (default 3, best time kept).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-anim-rel}
repeat=${REPEAT:-3}
[ -x /usr/bin/time ] || { echo "bench_anim: needs GNU time (package time)" >&2; exit 1; }
for tool in gifsicle apngasm Xvfb; do
  command -v "$tool" >/dev/null || { echo "bench_anim: needs $tool" >&2; exit 1; }
done

if [ ! -x "$build/zyrsat" ] || [ ! -x "$build/make_demo_loop" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZYR_BENCH=OFF -DZYR_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target zyrsat make_demo_loop >/dev/null
fi
case $build in /*) bin=$build ;; *) bin=$root/$build ;; esac
zyrsat=$bin/zyrsat
work=$(mktemp -d)
xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cd "$work"

for n in $(seq 140 170); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 2048x1536x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  display=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  break
done

# Best wall time (s), best CPU time (user + system, s: less disturbed by
# other work on the machine) and peak RSS (MB) of $repeat runs of a command.
measure() {
  local best="" cpu="" rss=0 t c r
  for _ in $(seq "$repeat"); do
    /usr/bin/time -v -o time.txt "$@" </dev/null >run.log 2>&1 || { cat run.log time.txt >&2; return 1; }
    t=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' time.txt)
    c=$(awk -F': ' '/(User|System) time \(seconds\)/ {s += $2} END {print s}' time.txt)
    r=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.txt)
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=$t; fi
    if [ -z "$cpu" ] || awk -v a="$c" -v b="$cpu" 'BEGIN {exit !(a < b)}'; then cpu=$c; fi
    [ "$r" -gt "$rss" ] && rss=$r
  done
  printf '%7.2f s wall %7.2f s CPU %7.1f MB peak RSS' "$best" "$cpu" "$(awk -v k="$rss" 'BEGIN {print k / 1024}')"
}
kb() { printf '%6d KB' $(( $(stat -c %s "$1") / 1024 )); }

"$bin/make_demo_loop" "$work/sat" --frames 24 >files.txt
mapfile -t files <files.txt
common=(-b -ge 1920x1080 -pd "lamb,38,-95,1920,1080,0.035,0.035")

run_on() {  # label, then zyrsat's environment and device arguments
  local label=$1
  shift
  echo "$label: 24 frames 1920x1080, zyrsat runs"
  rm -f f_*.gif f_*.png loop.gif loop.png
  printf '  per-frame GIF dumps:  %s\n' "$(measure "$@" "${common[@]}" -pp irbar -of "gif=f_%i.gif" "${files[@]}")"
  printf '  per-frame PNG dumps:  %s\n' "$(measure "$@" "${common[@]}" -pp irbar -of "png=f_%i.png" "${files[@]}")"
  printf '  animated GIF:         %s\n' "$(measure "$@" "${common[@]}" -pp irbar,anim=loop.gif "${files[@]}")"
  printf '  APNG:                 %s\n' "$(measure "$@" "${common[@]}" -pp irbar,apng=loop.png "${files[@]}")"
  printf '  both in one run:      %s\n' "$(measure "$@" "${common[@]}" -pp irbar,anim=loop.gif,apng=loop.png "${files[@]}")"
  echo "  sizes: animated GIF $(kb loop.gif), APNG $(kb loop.png)"
}

# The reference tools on the last run's per-frame files (both workstations
# draw the same pixels); apngasm's default deflate is slow, so it runs once.
references() {
  local gifs=(f_*.gif) pngs=(f_*.png)
  echo "reference tools on the 24 per-frame files"
  printf '  gifsicle -O2:         %s\n' \
    "$(measure sh -c 'gifsicle -O2 --loopcount=forever --delay 50 "$@" >ref.gif' sh "${gifs[@]}")"
  printf '  apngasm (7zip):       %s\n' "$(repeat=1 measure apngasm ref.png "${pngs[@]}" 1 2)"
  printf '  apngasm -z0 (zlib):   %s\n' "$(measure apngasm ref0.png "${pngs[@]}" 1 2 -z0)"
  echo "  sizes: animated GIF $(kb loop.gif) against gifsicle -O2 $(kb ref.gif) (24 GIFs $(du -ck "${gifs[@]}" | tail -n 1 | cut -f1) KB)"
  echo "         APNG $(kb loop.png) against apngasm $(kb ref.png), apngasm -z0 $(kb ref0.png) (24 PNGs $(du -ck "${pngs[@]}" | tail -n 1 | cut -f1) KB)"
}

echo "bench_anim ($build, $(nproc) cores, best of $repeat)"
[ -n "$xvfb_pid" ] && run_on "Xvfb" env DISPLAY="$display" "$zyrsat"
if env -u DISPLAY "$zyrsat" -b -de d,mem -ge 64x64 -of png=probe.png "${files[0]}" </dev/null >/dev/null 2>&1 &&
  [ -s probe.png ]; then
  run_on "headless" env -u DISPLAY "$zyrsat" -de d,mem
else
  echo "(no headless workstation in this build)"
fi
references
