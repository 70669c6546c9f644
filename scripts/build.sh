#!/usr/bin/env bash
# Configures and builds into ./build (or $QM_BUILD_DIR).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja ${QM_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
