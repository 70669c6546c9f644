#!/usr/bin/env bash
# Fresh Debian 12 machine: installs what is needed, builds, runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"
"$top/scripts/build.sh"
build=${QM_BUILD_DIR:-$top/build}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
