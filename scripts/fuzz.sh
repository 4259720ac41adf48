#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a given time.
# Usage: scripts/fuzz.sh [seconds-per-target] [target...]
# Findings (crash-*, leak-*, timeout-*) land in fuzz/out/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
scripts/install-deps.sh clang libclang-rt-dev
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZYR_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" >/dev/null
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=($(cd build-fuzz/fuzz && ls fuzz_* | grep -v '\.'))
status=0
for t in "${targets[@]}"; do
  # Absolute paths throughout: the targets change their working folder.
  out=$PWD/fuzz/out/$t
  mkdir -p "$out/corpus"
  # Seeds sit in fuzz/seeds/<target>, with or without the "fuzz_" prefix.
  seeds=()
  for d in "fuzz/seeds/$t" "fuzz/seeds/${t#fuzz_}"; do
    [ -d "$d" ] && seeds+=("$PWD/$d")
  done
  echo "== $t for ${seconds}s"
  if ! (cd "$out" && "$OLDPWD/build-fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=10 \
          -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus" "${seeds[@]}" 2>"$out/$t.log"); then
    echo "   $t found a problem: see $out/$t.log"
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss' "$out/$t.log" || true
  grep -E 'cov:' "$out/$t.log" | tail -n 1 || true
done
exit $status
