#!/usr/bin/env bash
# Converts a 100,000-row, 10-column table with QUILLCMD into .xlsx and prints
# the wall time and the peak memory. Not a test: a figure to watch.
# usage: bench/run.sh [ROWS] [repeat|distinct]   (build first: scripts/build.sh)
# With "repeat" the texts repeat (1,000 distinct rows): the peak memory then
# stays the same for any number of rows. With "distinct" every cell is a
# text of its own (1,000,000 distinct texts for 100,000 rows).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
rows=${1:-100000}
work=$(mktemp -d -t qm_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$top/bench/make_bench_db.py" "$work/bench.db" "$rows" "${2:-}"
OCILITE_PATH="$work" TMPDIR="$work" /usr/bin/time -v "$build/bin/QUILLCMD" --src=bench --xls_ver=2 \
  --dest="$work/bench.xlsx" >"$work/out.txt" 2>"$work/time.txt"
cat "$work/out.txt"
grep -E "Elapsed \(wall clock\)|Maximum resident set size" "$work/time.txt"
ls -l "$work/bench.xlsx" | awk '{print "Workbook size: " $5 " bytes"}'
