"""What the end-to-end scripts share: QUILLCMD run in a folder of its own
against ocilite databases, and its workbooks read back with openpyxl (.xlsx)
and xlrd (.xls).

A script ends with `e2e_support.main()`, which takes the program from its
first argument: usage: SCRIPT.py QUILLCMD [unittest arguments]

On import the script gets a folder of its own, under the TMPDIR (else
/tmp) of whoever runs it, that is its HOME (with the XDG folders), its
XDG_RUNTIME_DIR and its TMPDIR, so that nothing a run writes lands among
that person's files; it is removed when the script ends.
"""
import atexit
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

import openpyxl
import xlrd

QUILLCMD = None


def remove_tree(path):
    """Removes the folder with everything in it, read-only folders too."""
    os.chmod(path, os.stat(path).st_mode | stat.S_IRWXU)
    for root, folders, _ in os.walk(path):
        for name in folders:
            folder = os.path.join(root, name)
            if not os.path.islink(folder):
                os.chmod(folder, os.stat(folder).st_mode | stat.S_IRWXU)
    shutil.rmtree(path)


def make_sandbox():
    base = os.environ.get("TMPDIR") or "/tmp"
    try:
        top = tempfile.mkdtemp(prefix="qm_test_", dir=base)
        folders = {"HOME": "home", "XDG_CONFIG_HOME": "home/.config", "XDG_CACHE_HOME": "home/.cache",
                   "XDG_DATA_HOME": "home/.local/share", "XDG_STATE_HOME": "home/.local/state",
                   "XDG_RUNTIME_DIR": "run", "TMPDIR": "tmp"}
        for name, folder in folders.items():
            path = os.path.join(top, folder)
            os.makedirs(path, mode=0o700, exist_ok=True)
            os.environ[name] = path
    except OSError as e:
        sys.exit("test sandbox: cannot make its folders under %s: %s" % (base, e))
    # The runs' own temporary folders follow TEMP first.
    os.environ.pop("TEMP", None)
    tempfile.tempdir = None
    owner = os.getpid()
    atexit.register(lambda: os.getpid() == owner and remove_tree(top))


make_sandbox()


class WorkFolderTest(unittest.TestCase):
    """A test with a fresh folder of its own, `work`, removed after it."""
    prefix = "qm_"

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix=self.prefix)

    def tearDown(self):
        remove_tree(self.work)

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


def run(args, work, source=None, path=None, timeout=120, temp=None, preexec_fn=None):
    """Runs QUILLCMD in `work` (its temporary files under `temp`, else
    there) to its end: the exit code, the output and the error output. A
    program that waits for ever fails at the timeout. `preexec_fn` runs in
    the child before the program, as subprocess runs it."""
    done = subprocess.run([QUILLCMD, *args], cwd=work, env=environment(temp or work, source, path),
                          capture_output=True, text=True, errors="replace", timeout=timeout, preexec_fn=preexec_fn)
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
