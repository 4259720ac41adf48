# Shared pieces of the benchmark scripts (sourced, not run).
#   bench_build DIR TARGET...  builds the targets in DIR (Release, no tests)
#                              unless they are there; sets $bin, $zyrsat
#   bench_workdir              a scratch folder ($work), removed on exit with
#                              the Xvfb bench_xvfb started; cd there
#   bench_xvfb FIRST LAST      a 2048x1536x24 Xvfb on the first free display
#                              number in FIRST..LAST; sets $xdisp, $xvfb_pid
#   bench_measure CMD...       runs CMD $repeat times under GNU time -v and
#                              prints "best-wall-s best-cpu-s peak-rss-kb"
#                              (CPU is user + system: less disturbed by
#                              other work on a shared machine)
# Sourced from the project's top folder, it also sets $root (that folder),
# $build (the script's first argument, else $bench_default_build, else
# build-bench-rel), $repeat ($REPEAT, else $bench_default_repeat, else 5)
# and $data (the sample folder: $ZYR_SHARED_DATA, else ../shared/data).

root=$PWD
build=${1:-${bench_default_build:-build-bench-rel}}
repeat=${REPEAT:-${bench_default_repeat:-5}}
data=${ZYR_SHARED_DATA:-$root/../shared/data}

[ -x /usr/bin/time ] || { echo "${0##*/}: needs GNU time (package time)" >&2; exit 1; }

bench_build() {
  local dir=$1 t missing=""
  shift
  for t in "$@"; do [ -x "$dir/$t" ] || missing=1; done
  if [ -n "$missing" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZYR_BENCH=OFF -DZYR_TESTS=OFF >/dev/null
    cmake --build "$dir" -j2 --target "$@" >/dev/null
  fi
  case $dir in /*) bin=$dir ;; *) bin=$PWD/$dir ;; esac
  zyrsat=$bin/zyrsat
}

xvfb_pid=""
xdisp=""
bench_workdir() {
  work=$(mktemp -d)
  trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
  cd "$work"
}

bench_xvfb() {
  local n
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 2048x1536x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    xdisp=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    return 0
  done
}

bench_measure() {
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
  echo "$best $cpu $rss"
}

# One result line: label, bench_measure's "wall cpu rss", and an optional
# wall-time goal in seconds.
bench_report() {
  local label=$1 goal=${3:-} t c r
  read -r t c r <<<"$2"
  printf '  %-34s %7.3f s wall %7.3f s CPU %7.1f MB peak RSS' "$label" "$t" "$c" "$(awk -v k="$r" 'BEGIN {print k / 1024}')"
  [ -n "$goal" ] && awk -v a="$t" -v g="$goal" 'BEGIN {printf "  (goal %g s: %s)", g, a <= g ? "met" : "missed"}'
  echo
}
