#!/usr/bin/env python3
"""Opens a workbook with xlrd and prints what it holds, one line:
BIFF-VERSION SHEETS NAME:ROWS:COLUMNS ...; anything xlrd logs goes first."""
import io
import sys

import xlrd


def main():
    log = io.StringIO()
    book = xlrd.open_workbook(sys.argv[1], formatting_info=True, logfile=log, verbosity=0)
    parts = [str(book.biff_version), str(book.nsheets)]
    parts += ["%s:%d:%d" % (s.name, s.nrows, s.ncols) for s in book.sheets()]
    sys.stdout.write(log.getvalue())
    print(" ".join(parts))


if __name__ == "__main__":
    main()
