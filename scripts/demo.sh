#!/usr/bin/env bash
# Installs what is missing, builds zyrsat and runs it on the bundled sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build >/dev/null
./build/zyrsat -h
