#!/usr/bin/env bash
# Converts, with QUILLCMD into each of the given formats, a table of ROWS
# rows whose VARCHAR2(10) column holds ever longer values (11 characters,
# 12, ...: each longer than any before, and than its column says), and a
# table of 1,000 VARCHAR2(30) columns; prints per table and format the wall
# time and the peak memory. Not a test: figures to watch (the time should
# grow with the text, the memory with what the values fill).
# usage: bench/long_texts.sh [ROWS] [FORMATS]   (build first: scripts/build.sh)
#   FORMATS: the formats to run, e.g. "1 2" (default "0 1 2")
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
rows=${1:-4000}
formats=${2:-0 1 2}
work=$(mktemp -d -t qm_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work/texts.db" "$rows" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute('CREATE TABLE "LONGER" ("ID" NUMBER(6), "V" VARCHAR2(10))')
db.executemany('INSERT INTO "LONGER" VALUES (?, ?)', [(i, "x" * (10 + i)) for i in range(1, int(sys.argv[2]) + 1)])
db.execute('CREATE TABLE "WIDE" (%s)' % ", ".join('"C%d" VARCHAR2(30)' % i for i in range(1000)))
db.executemany('INSERT INTO "WIDE" VALUES (%s)' % ",".join("?" * 1000),
               [tuple("v%d_%d" % (r, i) for i in range(1000)) for r in range(20)])
db.commit()
PY
echo "LONGER: $rows rows of ever longer values; WIDE: 20 rows of 1,000 text columns"
for table in LONGER WIDE; do
  echo "$table" >"$work/list.txt"
  for f in $formats; do
    ext=xls
    [ "$f" = 2 ] && ext=xlsx
    rm -f "$work"/texts.*xls*
    # A sheet that cuts the table (rows or columns) ends with -1: the
    # figures hold all the same.
    OCILITE_PATH="$work" TMPDIR="$work" /usr/bin/time -v "$build/bin/QUILLCMD" --src=texts \
      --tab_file="$work/list.txt" --xls_ver="$f" --dest="$work/texts.$ext" >"$work/out.txt" 2>"$work/time.txt" || true
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
    peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
    printf '%s format %s: wall %s, peak memory %d MB\n' "$table" "$f" "$wall" $((peak / 1024))
  done
done
