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
bench_default_build=build-anim-rel
bench_default_repeat=3
source bench/bench_lib.sh
for tool in gifsicle apngasm Xvfb; do
  command -v "$tool" >/dev/null || { echo "bench_anim: needs $tool" >&2; exit 1; }
done

bench_build "$build" zyrsat make_demo_loop
bench_workdir
bench_xvfb 140 170
display=$xdisp

# Best wall time, best CPU time and peak RSS (MB) of $repeat runs.
measure() {
  local t c r
  read -r t c r <<<"$(bench_measure "$@")" || return 1
  printf '%7.2f s wall %7.2f s CPU %7.1f MB peak RSS' "$t" "$c" "$(awk -v k="$r" 'BEGIN {print k / 1024}')"
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
