#!/usr/bin/env bash
# Converts a query of a million rows whose second column is a division of
# two NUMBER columns (40-digit quotients, kept exact) with QUILLCMD into
# .xlsx, and prints the wall time and the peak memory. Not a test: a figure
# to watch. With the operator "+" the same query adds instead, for the cost
# of the rest of the run.
# usage: bench/division.sh [ROWS] [OPERATOR]   (build first: scripts/build.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
rows=${1:-1000000}
op=${2:-/}
work=$(mktemp -d -t qm_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work/div.db" "$rows" <<'PY'
import random
import sqlite3
import sys

random.seed(20240601)
db = sqlite3.connect(sys.argv[1])
db.execute('CREATE TABLE "T" ("ID" NUMBER(10) NOT NULL, "A" NUMBER(10,2), "B" NUMBER(3))')
db.executemany('INSERT INTO "T" VALUES (?,?,?)',
               ((i, round(random.uniform(1, 99999), 2), random.randint(1, 999))
                for i in range(1, int(sys.argv[2]) + 1)))
db.commit()
PY
cat >"$work/div.qlt" <<QLT
[Generic settings]
dest=$work/div.xlsx
src=div

[MS Excel settings]
format version=2

[Oracle settings]
user=bench

[Selected Tables]
Q=SELECT "ID", "A" $op "B" AS "R" FROM "T"

QLT
echo "$rows rows of SELECT \"ID\", \"A\" $op \"B\""
OCILITE_PATH="$work" TMPDIR="$work" /usr/bin/time -v "$build/bin/QUILLCMD" --profile="$work/div.qlt" \
  >"$work/out.txt" 2>"$work/time.txt" || { cat "$work/out.txt"; exit 1; }
tail -3 "$work/out.txt"
grep -E "Elapsed \(wall clock\)|Maximum resident set size" "$work/time.txt"
