#!/usr/bin/env bash
# Converts many one-row sheets with QUILLCMD and prints, per format, the wall
# time, the peak memory and, with "log", the size of the trace log. Not a
# test: figures to watch as the number of sheets grows.
# usage: bench/many_sheets.sh [COUNT] [FORMATS] [queries|colliding] [log]
#   queries:   COUNT queries of one row over one table (the default)
#   colliding: COUNT tables of one row whose names share their first 30
#              characters, so that every sheet name after the first gets
#              a counter
#   FORMATS:   the formats to run, e.g. "0 2" (default "0 1 2")
# QM_PROFILER, when set, is put before the program, e.g.
#   QM_PROFILER="valgrind --tool=callgrind" bench/many_sheets.sh 1000 0
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
count=${1:-1000}
formats=${2:-0 1 2}
kind=${3:-queries}
log=${4:-}
work=$(mktemp -d -t qm_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$work" "$count" "$kind" <<'PY'
import sqlite3, sys
work, count, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
db = sqlite3.connect(work + "/many.db")
db.execute('CREATE TABLE "OCILITE_USERS" ("USERNAME" VARCHAR2(30), "PASSWORD" VARCHAR2(30))')
db.execute("INSERT INTO \"OCILITE_USERS\" VALUES ('SCOTT', 'tiger')")
db.execute('CREATE TABLE "ONE" ("ID" NUMBER(4))')
db.execute('INSERT INTO "ONE" VALUES (1)')
entries = []
if kind == "colliding":
    for i in range(count):
        name = "CUSTOMER_ORDER_HISTORY_ARCHIVE_%05d" % i
        db.execute('CREATE TABLE "%s" ("ID" NUMBER(4))' % name)
        db.execute('INSERT INTO "%s" VALUES (1)' % name)
        entries.append(name)
else:
    entries = ["q%d=SELECT ID FROM ONE" % i for i in range(count)]
db.commit()
with open(work + "/entries.txt", "w") as f:
    f.write("\n".join(entries) + "\n")
PY
echo "$count one-row sheets ($kind)"
for f in $formats; do
  ext=xls
  [ "$f" = 2 ] && ext=xlsx
  rm -f "$work"/many.*xls* "$work/trace.log"
  {
    printf '[Generic settings]\ndest=%s\nsrc=many\n' "$work/many.$ext"
    [ -n "$log" ] && printf 'logfile=%s\n' "$work/trace.log"
    printf '\n[MS Excel settings]\nformat version=%s\n\n[Oracle settings]\npassword=tiger\nuser=SCOTT\n\n' "$f"
    printf '[Selected Tables]\n'
    cat "$work/entries.txt"
  } >"$work/p.qlt"
  OCILITE_PATH="$work" TMPDIR="$work" /usr/bin/time -v ${QM_PROFILER:-} "$build/bin/QUILLCMD" --profile="$work/p.qlt" \
    >"$work/out.txt" 2>"$work/time.txt" || {
    echo "format $f: QUILLCMD failed"
    tail -5 "$work/out.txt"
    continue
  }
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  line=$(printf 'format %s: wall %s, peak memory %d MB' "$f" "$wall" $((peak / 1024)))
  [ -n "$log" ] && line="$line, log $(stat -c %s "$work/trace.log") bytes"
  echo "$line"
done
