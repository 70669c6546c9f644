# Prints each sheet of a workbook as "name rows columns header1,header2,...".
import sys
import openpyxl

book = openpyxl.load_workbook(sys.argv[1], read_only=True)
for sheet in book.worksheets:
    rows = list(sheet.iter_rows(values_only=True))
    header = ",".join(str(v) for v in rows[0]) if rows else ""
    width = len(rows[0]) if rows else 0
    print(f"{sheet.title} {len(rows)} {width} {header}")
