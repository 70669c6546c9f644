#!/usr/bin/env bash
# Fresh Debian 12 machine: installs what is needed, builds, and converts the
# bundled demo database into out/demo.xlsx with QUILLCMD.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"
"$top/scripts/build.sh"
build=${QM_BUILD_DIR:-$top/build}
mkdir -p "$top/out"
"$build/bin/QUILLCMD" --src=demo --xls_ver=2 --dest="$top/out/demo.xlsx"
echo "The demo database is converted: $top/out/demo.xlsx"
