#!/usr/bin/env bash
# Converts a database with QUILLCMD and a table list (--tab_file=) of a
# million lines that names three of its tables, and prints the wall time and
# the peak memory. Not a test: figures to watch. Two lists: "repeat" names
# the three over and over; "missing" names them once, then 999,997 tables
# the source lacks (each one said on the standard error). The source is the
# bundled demo database (DEPT, EMP, RAW_DATA), or with SOURCE_TABLES a schema
# of that many one-row tables (T001, T002, T003).
# usage: bench/table_list.sh [LINES] [FORMAT] [SOURCE_TABLES]   (build first: scripts/build.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QM_BUILD_DIR:-$top/build}
lines=${1:-1000000}
format=${2:-2}
source_tables=${3:-0}
work=$(mktemp -d -t qm_bench_XXXXXX)
trap 'rm -rf "$work"' EXIT
src=demo
if [ "$source_tables" -gt 0 ]; then
  /usr/bin/python3 "$top/bench/make_many_tables_db.py" "$work/many.db" "$source_tables" 1
  src=many
fi
/usr/bin/python3 - "$work" "$lines" "$src" <<'EOF'
import sys
work, lines = sys.argv[1], int(sys.argv[2])
real = ["DEPT", "EMP", "RAW_DATA"] if sys.argv[3] == "demo" else ["T001", "T002", "T003"]
with open(work + "/repeat.txt", "w") as f:
    f.writelines(real[i % 3] + "\n" for i in range(lines))
with open(work + "/missing.txt", "w") as f:
    f.writelines(name + "\n" for name in real)
    f.writelines("NO_TABLE_%07d\n" % i for i in range(lines - 3))
EOF
echo "$lines lines, format $format, source $src${3:+ of $source_tables tables}"
for list in repeat missing; do
  rm -f "$work"/book.*
  # Exit -1 is expected with tables that do not exist.
  OCILITE_PATH="$work" TMPDIR="$work" /usr/bin/time -v "$build/bin/QUILLCMD" --src="$src" --xls_ver="$format" --tab_file="$work/$list.txt" \
    --dest="$work/book" >"$work/out.txt" 2>"$work/err.txt" || true
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/err.txt")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/err.txt")
  printf '%-8s wall %s, peak memory %d MB, %d tables said missing, %s\n' "$list" "$wall" $((peak / 1024)) \
    "$(grep -c ' not exists$' "$work/err.txt" || true)" "$(head -1 "$work/out.txt")"
done
