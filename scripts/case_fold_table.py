"""Prints the table of platform/case_fold.cpp: every character whose full
case folding is more than one character (the "F" status of the Unicode
case-folding data), from the Unicode data of the Python that runs it.

usage: python3 scripts/case_fold_table.py
"""
import unicodedata

print("// Unicode %s." % unicodedata.unidata_version)
for cp in range(0x110000):
    if 0xD800 <= cp <= 0xDFFF:
        continue
    folded = chr(cp).casefold()
    if len(folded) > 1:
        units = ", ".join("0x%04X" % ord(c) for c in folded)
        print("    {0x%04X, {%s}}," % (cp, units))
