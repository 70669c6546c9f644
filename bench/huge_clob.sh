#!/usr/bin/env bash
# Converts one table holding a single CLOB of MEGABYTES MB of text with
# QUILLCMD into each of the three formats and prints, per format, the wall
# time and the peak memory. A cell keeps at most 32,766 UTF-16 units (254 in
# Excel 5.0), so the peak should not grow with the value. Not a test: figures
# to watch.
# usage: bench/huge_clob.sh [MEGABYTES] [FORMATS]   (build first: scripts/build.sh)
#   FORMATS: the formats to run, e.g. "1 2" (default "0 1 2")
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
megabytes=${1:-20}
formats=${2:-0 1 2}
work=$(mktemp -d -t qm_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work/clob.db" "$megabytes" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute('CREATE TABLE "HUGE" ("ID" NUMBER(4), "C" CLOB)')
line = "a line of plain text in a very large character object, number %07d\n"
count = int(sys.argv[2]) * 1048576 // len(line % 0)
db.execute('INSERT INTO "HUGE" VALUES (1, ?)', ("".join(line % i for i in range(count)),))
db.commit()
PY
echo "one CLOB of $megabytes MB"
for f in $formats; do
  ext=xls
  [ "$f" = 2 ] && ext=xlsx
  rm -f "$work"/clob.*xls*
  OCILITE_PATH="$work" TMPDIR="$work" /usr/bin/time -v "$build/bin/QUILLCMD" --src=clob --xls_ver="$f" \
    --dest="$work/clob.$ext" >"$work/out.txt" 2>"$work/time.txt" || {
    echo "format $f: QUILLCMD failed"
    tail -5 "$work/out.txt"
    continue
  }
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  printf 'format %s: wall %s, peak memory %d MB\n' "$f" "$wall" $((peak / 1024))
done
