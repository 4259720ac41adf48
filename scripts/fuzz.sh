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
# Real samples next to the project (../shared/data, never copied into it)
# are extra seeds for the targets reading their forms.  The targets whose
# first byte picks a form get each sample behind a 0 byte ("as it stands"),
# written to a temporary folder.
shared=$(cd .. && pwd)/shared/data
declare -A shared_of=([fuzz_area]="area" [fuzz_awip]="gini" [fuzz_lrit]="lrit hrit" [fuzz_tiff]="tiff")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
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
  for sub in ${shared_of[$t]:-}; do
    [ -d "$shared/$sub" ] || continue
    if [ "$t" = fuzz_tiff ]; then
      seeds+=("$shared/$sub")
      continue
    fi
    mkdir -p "$tmp/$t-$sub"
    find "$shared/$sub" -type f ! -name '*.md' | while read -r f; do
      { printf '\000'; cat "$f"; } >"$tmp/$t-$sub/$(basename "$f")"
    done
    seeds+=("$tmp/$t-$sub")
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
