#!/usr/bin/env bash
# Converts a table of 100,000 rows and 10 text columns, each cell a text of
# its own (1,000,000 distinct texts, the worst case of the shared-string
# table), with QUILLCMD into .xlsx and prints the wall time, the peak memory
# and the workbook's size. Not a test: a figure to watch.
# usage: bench/distinct_cells.sh [ROWS]   (build first: scripts/build.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
rows=${1:-100000}
work=$(mktemp -d -t qm_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work/cells.db" "$rows" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
columns = ", ".join('"C%d" VARCHAR2(30)' % c for c in range(10))
db.execute('CREATE TABLE "CELLS" (%s)' % columns)
db.executemany('INSERT INTO "CELLS" VALUES (%s)' % ",".join("?" * 10),
               (["row %07d column %d" % (r, c) for c in range(10)] for r in range(int(sys.argv[2]))))
db.commit()
PY
OCILITE_PATH="$work" TMPDIR="$work" /usr/bin/time -v "$build/bin/QUILLCMD" --src=cells --xls_ver=2 \
  --dest="$work/cells.xlsx" >"$work/out.txt" 2>"$work/time.txt"
cat "$work/out.txt"
grep -E "Elapsed \(wall clock\)|Maximum resident set size" "$work/time.txt"
ls -l "$work/cells.xlsx" | awk '{print "Workbook size: " $5 " bytes"}'
