"""Prints every sheet of a workbook as xlrd reads it: JSON of
[[name, [[[ctype, value], ...], ...]], ...], and with --header-xf the XF
index of each header cell.

usage: xlrd_dump.py FILE
"""
import json
import sys

import xlrd

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
out = []
for sheet in book.sheets():
    rows = []
    for r in range(sheet.nrows):
        rows.append([[c.ctype, c.value] for c in sheet.row(r)])
    out.append([sheet.name, rows])
print(json.dumps(out, ensure_ascii=False))
