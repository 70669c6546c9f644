#!/usr/bin/env bash
# Converts a schema of many tables (300 tables of 2,000 rows and 5 columns)
# with QUILLCMD into each of the three formats and prints, per format, the
# wall time, the peak memory and the workbook's size. Not a test: figures
# to watch, and to compare the .xls formats with the .xlsx one.
# usage: bench/many_tables.sh [TABLES] [ROWS] [FORMATS]   (build first: scripts/build.sh)
#   FORMATS: the formats to run, e.g. "1 2" (default "0 1 2")
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
tables=${1:-300}
rows=${2:-2000}
formats=${3:-0 1 2}
work=$(mktemp -d -t qm_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$top/bench/make_many_tables_db.py" "$work/many.db" "$tables" "$rows"
echo "$tables tables of $rows rows and 5 columns"
for f in $formats; do
  ext=xls
  [ "$f" = 2 ] && ext=xlsx
  # The workbook of one format is gone before the next runs: the disk
  # holds one at a time.
  rm -f "$work"/many.*xls*
  OCILITE_PATH="$work" TMPDIR="$work" /usr/bin/time -v "$build/bin/QUILLCMD" --src=many --xls_ver="$f" \
    --dest="$work/many.$ext" >"$work/out.txt" 2>"$work/time.txt" || {
    echo "format $f: QUILLCMD failed"
    tail -5 "$work/out.txt"
    continue
  }
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  size=$(stat -c %s "$work/many.$ext")
  printf 'format %s: wall %s, peak memory %d MB, workbook %d bytes (%d MB)\n' "$f" "$wall" $((peak / 1024)) \
    "$size" $((size / 1048576))
done
