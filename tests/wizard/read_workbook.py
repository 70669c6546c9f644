# Prints each sheet of a workbook as "name rows columns header1,header2,...";
# an .xls workbook is read with xlrd, any other with openpyxl.
import sys

path = sys.argv[1]
if path.endswith(".xls"):
    import xlrd

    book = xlrd.open_workbook(path)
    sheets = [(s.name, [s.row_values(r) for r in range(s.nrows)]) for s in book.sheets()]
else:
    import openpyxl

    book = openpyxl.load_workbook(path, read_only=True)
    sheets = [(s.title, list(s.iter_rows(values_only=True))) for s in book.worksheets]
for title, rows in sheets:
    header = ",".join(str(v) for v in rows[0]) if rows else ""
    width = len(rows[0]) if rows else 0
    print(f"{title} {len(rows)} {width} {header}")
