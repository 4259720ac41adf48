#!/usr/bin/env bash
# Builds the suite with coverage counters, runs it, and prints line and
# branch coverage per folder of the code (tests, benchmarks, fuzz targets
# and tools are not counted).
# Usage: scripts/coverage.sh [build-dir] [ctest options...]
# SKIP_RUN=1 only reports on counters an earlier run left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dir=${1:-build-cov}
shift || true
command -v gcovr >/dev/null || scripts/install-deps.sh gcovr
if [ -z "${SKIP_RUN:-}" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DZYR_COVERAGE=ON -DZYR_BENCH=OFF >/dev/null
  cmake --build "$dir" -j"$(nproc)"
  find "$dir" -name '*.gcda' -delete
  # Notes of test files deleted since the build folder was made would only
  # make gcov complain about sources it cannot open.
  find "$dir/tests/CMakeFiles/zyr_tests.dir" -name '*.cpp.gcno' | while read -r gcno; do
    rel=${gcno#"$dir/tests/CMakeFiles/zyr_tests.dir/"}
    rel=${rel%.gcno}
    [ -e "tests/${rel//__/..}" ] || rm -f "$gcno"
  done
  . scripts/xvfb.sh
  trap stop_xvfb EXIT
  start_xvfb
  (cd "$dir" && ctest -j"$(nproc)" "$@") || echo "coverage: some tests failed; figures cover the run as it went"
fi
# Threads can leave negative branch counts that gcov reports as parse
# errors; those lines are ignored rather than failing the report.
gcovr -r "$root" --object-directory "$dir" --gcov-ignore-parse-errors \
  -e 'tests/' -e 'bench/' -e 'fuzz/' -e 'tools/' -e 'cmake/' -e '.*/_deps/' -e "$dir/" \
  --json-summary "$dir/coverage-summary.json" >/dev/null
python3 - "$dir/coverage-summary.json" <<'PY'
import json, sys
files = json.load(open(sys.argv[1]))["files"]
sums = {}
for f in files:
    top = f["filename"].split("/")[0]
    for key in (top, "all"):
        s = sums.setdefault(key, [0, 0, 0, 0])
        s[0] += f["line_covered"]; s[1] += f["line_total"]
        s[2] += f["branch_covered"]; s[3] += f["branch_total"]
print(f"{'folder':10} {'lines %':>8} {'branches %':>11} {'lines':>13} {'branches':>15}")
order = [l.split()[0] for l in open("layers.txt") if l[:1].isalpha()] + ["all"]
for key in order + sorted(set(sums) - set(order)):
    if key not in sums: continue
    lc, lt, bc, bt = sums[key]
    pct = lambda a, b: 100.0 * a / b if b else 100.0
    print(f"{key:10} {pct(lc, lt):8.1f} {pct(bc, bt):11.1f} {lc:6}/{lt:<6} {bc:7}/{bt:<7}")
PY
