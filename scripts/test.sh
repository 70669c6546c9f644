#!/usr/bin/env bash
# Fresh Debian 12 machine: installs what is needed, builds, runs every test.
# With --sanitize first, builds into ./build-asan with AddressSanitizer and
# UBSan and runs the tests there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--sanitize" ]; then
  shift
  export QM_BUILD_DIR=${QM_BUILD_DIR:-$top/build-asan}
  export QM_CMAKE_ARGS="${QM_CMAKE_ARGS:-} -DQM_SANITIZE=ON"
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/scripts/lsan.supp}
fi
"$top/scripts/deps.sh"
"$top/scripts/build.sh"
build=${QM_BUILD_DIR:-$top/build}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
