"""What the end-to-end scripts share: QUILLCMD run in a folder of its own
against ocilite databases, and its workbooks read back with openpyxl (.xlsx)
and xlrd (.xls).

A script ends with `e2e_support.main()`, which takes the program from its
first argument: usage: SCRIPT.py QUILLCMD [unittest arguments]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import openpyxl
import xlrd

QUILLCMD = None


class WorkFolderTest(unittest.TestCase):
    """A test with a fresh folder of its own, `work`, removed after it."""
    prefix = "qm_"

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix=self.prefix)

    def tearDown(self):
        shutil.rmtree(self.work)

    def path(self, name):
        return os.path.join(self.work, name)


def environment(temp, source=None, path=None):
    """A run's environment: its temporary files under `temp`, the ocilite
    databases in `source`, and `path` as the PATH when given."""
    env = dict(os.environ, TMPDIR=temp)
    env.pop("TEMP", None)
    env.pop("QUILLMARK_OCI_LIBRARY", None)
    if source is not None:
        env["OCILITE_PATH"] = source
    if path is not None:
        env["PATH"] = path
    return env


def run(args, work, source=None, path=None, timeout=120, temp=None):
    """Runs QUILLCMD in `work` (its temporary files under `temp`, else
    there) to its end: the exit code, the output and the error output. A
    program that waits for ever fails at the timeout."""
    done = subprocess.run([QUILLCMD, *args], cwd=work, env=environment(temp or work, source, path),
                          capture_output=True, text=True, errors="replace", timeout=timeout)
    return done.returncode, done.stdout, done.stderr


def start(args, work, source=None, path=None, temp=None):
    """Starts QUILLCMD in `work` (its temporary files under `temp`, else
    there), its output and error output piped."""
    return subprocess.Popen([QUILLCMD, *args], cwd=work, env=environment(temp or work, source, path),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def cell_texts(path):
    """Every sheet of an .xlsx workbook as rows of cell texts, None for an
    empty cell."""
    book = openpyxl.load_workbook(path)
    return {ws.title: [list(row) for row in ws.iter_rows(values_only=True)] for ws in book.worksheets}


def xls_cells(path):
    """Every sheet of an .xls workbook as rows of values: numbers as floats,
    dates as "YYYY-MM-DD hh:mm:ss" texts, "" for an empty cell."""
    book = xlrd.open_workbook(path)
    sheets = {}
    for sheet in book.sheets():
        rows = []
        for r in range(sheet.nrows):
            row = []
            for cell in sheet.row(r):
                if cell.ctype == xlrd.XL_CELL_DATE:
                    row.append(xlrd.xldate_as_datetime(cell.value, book.datemode).strftime("%Y-%m-%d %H:%M:%S"))
                elif cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_TEXT, xlrd.XL_CELL_EMPTY):
                    row.append(cell.value)
                else:
                    row.append(("unexpected cell type", cell.ctype, cell.value))
            rows.append(row)
        sheets[sheet.name] = rows
    return sheets


def main():
    global QUILLCMD
    QUILLCMD = os.path.abspath(sys.argv.pop(1))
    unittest.main(module="__main__", verbosity=2)
