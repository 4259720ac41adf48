#!/usr/bin/env bash
# Installs what is missing, builds zyrsat, generates a day's loop of
# infrared images (24 files, 15 minutes apart) and draws the newest one
# remapped onto the "us" domain with coastlines, a latitude/longitude grid,
# the temperature bar and labels:
#   demo-out/zyrsat-demo.png     the picture, dumped from the (headless) window
#   demo-out/zyrsat-demo.ps      the same plot as a PostScript page
#   demo-out/zyrsat-demo-ps.png  that page rendered by ghostscript
# The window is headless ("-de d,mem"): no X display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
# The program and its tools only: the tests and benchmarks have their own script.
scripts/build.sh build -DZYR_TESTS=OFF -DZYR_BENCH=OFF >/dev/null
out=$root/demo-out
rm -rf "$out"
mkdir -p "$out"

echo "Generating the infrared loop in $out/sat/ir ..."
./build/make_demo_loop "$out/sat" --frames 24 >"$out/files.txt"
newest=$(tail -n 1 "$out/files.txt")

common=(-b -pd us -pp irbar,lalo=10 -la "Infrared demo loop")
cd "$out"
../build/zyrsat "${common[@]}" -de d,mem -out_file "png=$out/zyrsat-demo.png" "$newest" </dev/null
../build/zyrsat "${common[@]}" -de "p,$out/zyrsat-demo.ps" "$newest" </dev/null
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=png16m -r100 \
  -sOutputFile="$out/zyrsat-demo-ps.png" "$out/zyrsat-demo.ps"

echo "Wrote:"
ls -l "$out"/zyrsat-demo.png "$out"/zyrsat-demo.ps "$out"/zyrsat-demo-ps.png
