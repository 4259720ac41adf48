#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole test suite under a virtual
# X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DZYR_SANITIZE=ON

. scripts/xvfb.sh
trap stop_xvfb EXIT
start_xvfb

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd build-asan
ctest --output-on-failure -j"$(nproc)" "$@"
cd ..
# The Debian package: built, installed, run from /usr and purged (root only).
if [ "${CI:-}" = true ] || [ "${ZYR_TEST_DEB:-}" = 1 ]; then
  bash scripts/test-deb.sh
fi
