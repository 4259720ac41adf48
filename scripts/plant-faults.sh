#!/usr/bin/env bash
# Plants ten faults, one at a time, in a scratch copy of the code and checks
# that the test suite catches each of them.  The faults are slips a
# developer could make in code that real users run: an off-by-one in a
# reader, a sign in a projection, a swapped colour, a wrong exit status, ...
#
#   scripts/plant-faults.sh [BUILD_DIR]
#   PLANT_ONLY="2 8" scripts/plant-faults.sh   (only those faults)
#
# BUILD_DIR (default build-faults in the repository) holds the scratch
# worktree (BUILD_DIR/tree, detached at HEAD, removed at the end) with its
# Release build inside it (tree/build, the layout of every worktree's own
# build, so that ccache serves the objects), and the logs (BUILD_DIR/logs).
# One build serves all ten faults: each recompiles only its changed file.
# A run without a fault comes first and must pass.  Then each fault is applied, zyr_tests and zyrsat are rebuilt and the
# CTest entries expected to catch it are run; one line per fault tells
# whether it was caught and by which gtest tests.  The exit status is non-zero
# when a fault is not caught (or the baseline fails).
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build-faults}
mkdir -p "$build"
build=$(cd "$build" && pwd)
tree=$build/tree
obj=$tree/build
log=$build/logs
jobs=2

# ---- the faults: file | sed program | description | CTest regex ----------
# Each sed program must change its file (checked) and the result must build.
# The regex names the per-folder entries (unit_<folder>) or end-to-end
# tests expected to catch the fault.
faults=(
  "image/area.cpp|s/for (int64_t k = prev + 1; k < num && row < ny; k++) row++;/for (int64_t k = prev + 1; k <= num \&\& row < ny; k++) row++;/|AREA stream reader: off-by-one in the line-number gap, every line lands a row late|^unit_image\$"
  "map/proj_earth.cpp|s/\*y = (float)(-s \* rho \* cs);/*y = (float)(s * rho * cs);/|Lambert conformal forward: sign of y flipped, the map is upside down|^unit_map\$"
  "gks/drivers/ps.cpp|s/setrgbcolor\\\\n\", c\[0\], c\[1\], c\[2\]);/setrgbcolor\\\\n\", c[2], c[1], c[0]);/|PostScript colour: red and blue swapped in setrgbcolor|^unit_gks\$"
  "driver/sat_plot.cpp|s/PLT_exit(10);/PLT_exit(1);/|single unreadable input file ends with status 1 instead of 10|^E2e\\.|^TruncatedRun\\."
  "files/date.cpp|s/if (year % 4 == 0 && date->month <= 2) --days;/if (year % 4 == 0 \&\& date->month < 2) --days;/|seconds count: February of a leap year counted after the leap day|^unit_files\$"
  "core/res.cpp|/^    environment(progname);\$/d; s/^    second_pass(argc, argv);\$/&\n    environment(progname);/|resource precedence: environment read after the command line, so it overrides options|^unit_core\$"
  "image/gvar.cpp|s/double zeta = (e - 1) \* scnpx\[in\] - g.scnmax;/double zeta = g.scnmax - (e - 1) * scnpx[in];/|GVAR navigation: scan angle sign flipped, east and west mirrored|^unit_image\$"
  "satproc/remap.cpp|s/c = std::min(c0 + (int)(col - c0 > 0.5f), w - 1);/c = std::min(c0, w - 1);/|remap nearest pixel: column truncated instead of rounded|^unit_satproc\$"
  "satproc/enh.cpp|s/if (T >= -30) return to_pixel/if (T > -30) return to_pixel/|IR temperature scale: -30 C put on the cold branch (pixel 175 instead of 174)|^unit_satproc\$"
  "image/gif_write.cpp|s/if (next > maxcode && width < 12) {/if (next >= maxcode \&\& width < 12) {/|GIF writer: LZW code width grows one code early|^unit_image\$"
)

say() { printf '%s\n' "$*"; }
die() { say "plant-faults: $*" >&2; exit 2; }

cleanup() {
  if [ -d "$tree" ]; then
    git -C "$repo" worktree remove --force "$tree" >/dev/null 2>&1 || true
  fi
  git -C "$repo" worktree prune >/dev/null 2>&1 || true
}
trap cleanup EXIT

cleanup
rm -rf "$tree"  # what an interrupted run left
mkdir -p "$log"
git -C "$repo" worktree add --detach "$tree" HEAD >/dev/null 2>&1 || die "cannot create worktree $tree"
# The tests find the shared samples at <source>/../shared/data.
if [ -d "$repo/../shared" ] && [ ! -e "$build/shared" ]; then
  ln -s "$(cd "$repo/../shared" && pwd)" "$build/shared"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$tree" -B "$obj" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >"$log/cmake.txt" 2>&1 ||
  die "cmake failed, see $log/cmake.txt"

# A virtual X server when none is given.
. "$repo/scripts/xvfb.sh"
trap 'stop_xvfb; cleanup' EXIT
start_xvfb

build_targets() {  # $1: log file
  cmake --build "$obj" -j"$jobs" --target "$@" >"$log/build.txt" 2>&1
}

# Prints the failing gtest tests (or the failing CTest entries when a
# process died without a gtest verdict) of a CTest output file.
failed_tests() {
  local names
  names=$(grep -E '^\[  FAILED  \] [^ ]+\.[^ ]+' "$1" | awk '{sub(/,$/, "", $4); print $4}' | sort -u | tr '\n' ' ')
  if [ -z "$names" ]; then
    names=$(sed -En 's/^[[:space:]]*[0-9]+ - ([^ ]+) \((.*)\)$/\1(\2)/p' "$1" | sort -u | tr '\n' ' ')
  fi
  printf '%s' "${names% }"
}

run_entries() {  # $1: regex, $2: output file; returns ctest's status
  (cd "$obj" && ctest -R "$1" -j"$jobs" --output-on-failure) >"$2" 2>&1
}

chosen() {  # $1: fault number
  [ -z "${PLANT_ONLY:-}" ] || [[ " $PLANT_ONLY " == *" $1 "* ]]
}

all_regex() {
  local r="" i
  for i in "${!faults[@]}"; do
    chosen $((i + 1)) && r+="${r:+|}${faults[$i]#*|*|*|}"
  done
  printf '%s' "$r"
}

# ---- baseline: everything once (the end-to-end tests need the tools) ----
say "baseline: $(git -C "$tree" rev-parse --short HEAD), build $obj"
cmake --build "$obj" -j"$jobs" >"$log/build-baseline.txt" 2>&1 ||
  die "baseline build failed, see $log/build-baseline.txt"
if ! run_entries "$(all_regex)" "$log/baseline.txt"; then
  say "baseline FAILS: $(failed_tests "$log/baseline.txt") (see $log/baseline.txt)"
  exit 1
fi
say "baseline passes: $(grep -E 'tests passed' "$log/baseline.txt" | tail -1)"

missed=0
n=0
for f in "${faults[@]}"; do
  n=$((n + 1))
  chosen $n || continue
  IFS='|' read -r file prog desc rest <<<"$f"
  regex=${f#*|*|*|}
  git -C "$tree" checkout -q -- .
  sed -i -e "$prog" "$tree/$file"
  if git -C "$tree" diff --quiet -- "$file"; then
    say "fault $n NOT APPLIED ($file: sed matched nothing): $desc"
    missed=$((missed + 1))
    continue
  fi
  git -C "$tree" diff -U0 -- "$file" >"$log/fault$n.diff"
  line=$(sed -En 's/^@@ -([0-9]+).*/\1/p' "$log/fault$n.diff" | head -1)
  if ! build_targets zyr_tests zyrsat; then
    cp "$log/build.txt" "$log/fault$n-build.txt"
    say "fault $n DOES NOT BUILD ($file): $desc (see $log/fault$n-build.txt)"
    missed=$((missed + 1))
    continue
  fi
  if run_entries "$regex" "$log/fault$n.txt"; then
    say "fault $n NOT CAUGHT  $file:$line  $desc  [ran $regex]"
    missed=$((missed + 1))
  else
    say "fault $n caught      $file:$line  $desc  by: $(failed_tests "$log/fault$n.txt")"
  fi
done
git -C "$tree" checkout -q -- .

tried=$(for i in $(seq "$n"); do chosen "$i" && echo; done | wc -l)
say "$((tried - missed)) of $tried faults caught (logs in $log)"
[ "$missed" -eq 0 ]
