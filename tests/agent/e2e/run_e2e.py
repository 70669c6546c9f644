"""End-to-end tests of QUILLCMD: the real program against an ocilite source,
its workbooks read back with openpyxl (.xlsx) and xlrd (.xls).

usage: run_e2e.py QUILLCMD [unittest arguments]
"""
import json
import os
import shutil
import tempfile
import unittest
import sqlite3
import zipfile

import xlrd
import xlrd.compdoc

import e2e_support
import schema
from e2e_support import cell_texts, xls_cells

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTED = json.load(open(os.path.join(HERE, "expected.json"), encoding="utf-8"))
USAGE_FIRST_LINE = "QUILLCMD v4.1"
# The columns that hold numbers and dates, by table; the rest hold texts.
NUMBER_COLUMNS = {"BINS": {"ID"}, "DATES": {"ID"}, "EMP": {"EMPNO", "SAL", "COMM"},
                  "NUMS": {"ID", "N10", "F", "BD", "N", "N1", "N38"}, "TEXTS": {"ID"}}
DATE_COLUMNS = {"DATES": {"D", "TS"}, "EMP": {"HIREDATE"}}


def expected_xls(name, version):
    """The rows of a table as an .xls workbook of that version holds them:
    numbers as numbers; dates as numbers to the second in Excel 2000, as
    texts in Excel 5.0, whose text is in one Windows code page: this schema
    mixes scripts, so Windows-1252, with '?' for what it lacks."""
    rows = EXPECTED[name]
    header = rows[0]
    out = [list(header)]
    for row in rows[1:]:
        values = []
        for column, value in zip(header, row):
            if value is None:
                values.append("")
            elif column in NUMBER_COLUMNS.get(name, ()):
                values.append(float(value))
            elif column in DATE_COLUMNS.get(name, ()) and version == 1:
                values.append((value + " 00:00:00")[:19] if len(value) == 10 else value[:19])
            elif version == 0:
                values.append(value.encode("cp1252", errors="replace").decode("cp1252"))
            else:
                values.append(value)
        out.append(values)
    return out


def record_dump(path):
    """The workbook stream of an .xls file, one line per record: its id,
    then its body in hexadecimal."""
    with open(path, "rb") as f:
        doc = xlrd.compdoc.CompDoc(f.read(), logfile=open(os.devnull, "w"))
    stream = doc.get_named_stream("Workbook") or doc.get_named_stream("Book")
    lines, at = [], 0
    while at + 4 <= len(stream):
        rid, length = int.from_bytes(stream[at:at + 2], "little"), int.from_bytes(stream[at + 2:at + 4], "little")
        lines.append("%04X %s" % (rid, stream[at + 4:at + 4 + length].hex()))
        at += 4 + length
    return lines


class QuillcmdTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="qm_e2e_")
        schema.build(os.path.join(cls.folder, "e2e.db"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="run_", dir=self.folder)

    def run_quillcmd(self, *args, path=None):
        return e2e_support.run(args, self.work, self.folder, path)

    def path(self, name):
        return os.path.join(self.work, name)

    def login(self):
        return ["--src=e2e", "--user=SCOTT", "--pswd=tiger"]

    def assert_no_temporary_folder(self):
        left = [n for n in os.listdir(self.work) if n.startswith("xlsx_")]
        self.assertEqual(left, [], "temporary folders left behind")

    def test_whole_schema_to_xlsx(self):
        code, out, err = self.run_quillcmd(*self.login(), "--xls_ver=2", "--dest=all.xlsx")
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(out.splitlines(), [
            "Converting database e2e(7 tables)",
            "Converting table BINS (2 records)",
            "Converting table " + schema.LONG_A + " (1 records)",
            "Converting table " + schema.LONG_B + " (1 records)",
            "Converting table DATES (3 records)",
            "Converting table EMP (3 records)",
            "Converting table NUMS (3 records)",
            "Converting table TEXTS (7 records)",
        ])
        sheets = cell_texts(self.path("all.xlsx"))
        # Sheets come in the key order of the names; two names that agree in
        # the 31 characters a sheet title keeps get titles that differ there.
        self.assertEqual(list(sheets), ["BINS", "CUSTOMER_ORDER_HISTORY_ARCHIVE", "CUSTOMER_ORDER_HISTORY_AR00000",
                                        "DATES", "EMP", "NUMS", "TEXTS"])
        long_text = sheets["TEXTS"][3][2]
        self.assertEqual(long_text, "x" * 32766, "texts are cut at 32766 characters")
        sheets["TEXTS"][3][2] = None
        for name in ("BINS", "DATES", "EMP", "NUMS", "TEXTS"):
            self.assertEqual(sheets[name], EXPECTED[name], name)
        self.assert_no_temporary_folder()

    def test_query_from_a_settings_file_and_a_sheet_name_equal_but_for_case(self):
        profile = self.path("run.qlt")
        with open(profile, "w", encoding="utf-8") as f:
            f.write("[Available Queries]\n"
                    "emp=SELECT EMPNO, ENAME FROM EMP WHERE SAL > 2000 ORDER BY EMPNO\n\n"
                    "[Generic settings]\ndest=from_profile.xlsx\nlogfile=\nmode=0\n"
                    "only definitions=0\nskip indexes=0\nsrc=e2e\n\n"
                    "[MS Excel settings]\nconvert dates to strings=0\nformat version=2\n"
                    "split data=0\nwrap text=0\n\n"
                    "[Oracle settings]\npassword=tiger\nuser=SCOTT\n\n"
                    "[Selected Tables]\nEMP\nemp=SELECT EMPNO, ENAME FROM EMP WHERE SAL > 2000 ORDER BY EMPNO\n\n")
        code, out, err = self.run_quillcmd("--profile=run.qlt")
        self.assertEqual((code, err), (0, ""), out)
        sheets = cell_texts(self.path("from_profile.xlsx"))
        self.assertEqual(list(sheets), ["EMP", "emp00000"])
        self.assertEqual(sheets["EMP"], EXPECTED["EMP"])
        self.assertEqual(sheets["emp00000"], [["EMPNO", "ENAME"], ["7101", "HARLOW"], ["7102", "OKAFOR"]])

    def test_table_list_with_a_missing_table(self):
        with open(self.path("tables.txt"), "wb") as f:
            f.write(b"\xef\xbb\xbfEMP\r\n\r\nNO_SUCH_TABLE\nDATES\n")
        code, out, err = self.run_quillcmd(*self.login(), "--tab_file=tables.txt", "--xls_ver=2",
                                           "--dest=some.xlsx")
        self.assertEqual(err, "Table NO_SUCH_TABLE not exists\n")
        self.assertEqual(code, 255, "a table that was not converted fails the run")
        self.assertEqual(list(cell_texts(self.path("some.xlsx"))), ["DATES", "EMP"])
        self.assertIn("Converting database e2e(3 tables)", out)
        self.assertIn("Converting table DATES (3 records)", out)

    def test_extension_follows_the_final_format(self):
        for args, written in ((["--xls_ver=2", "--dest=a.xls"], "a.xlsx"),
                              (["--dest=b.xls", "--xls_ver=2"], "b.xlsx"),
                              (["--dest=c.txt", "--xls_ver=2"], "c.xlsx")):
            code, out, err = self.run_quillcmd(*self.login(), "--tab_file=" + self.tab_file("EMP"), *args)
            self.assertEqual(code, 0, out + err)
            self.assertTrue(zipfile.is_zipfile(self.path(written)), written)

    def tab_file(self, *names):
        path = self.path("list.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(names) + "\n")
        return path

    def test_exit_codes(self):
        cases = [
            ([], 255, "", USAGE_FIRST_LINE),
            (["--help"], 255, "", USAGE_FIRST_LINE),
            (["--mode=append"], 255, "", USAGE_FIRST_LINE),
            (["--src=e2e"], 255, "", "You should enter MS Excel spredsheet name"),
            (["--dest=x.xls"], 255, "", "You should enter Oracle database name"),
            (["--src=e2e", "--dest=x.xls"], 255, "", "You should specify MS Excel format version (use '--xls_ver' option)"),
            (["--src=e2e", "--dest=x.xls", "--xls_ver=3"], 255, "", "MS Excel format version must be 0, 1 or 2"),
            (["--src=e2e", "--dest=x.xls", "--xls_ver=-2"], 255, "", "MS Excel format version must be 0, 1 or 2"),
            (["--profile=missing.qlt"], 255,
             "Error:\nProfile does not exist. Please verify the correct path/name was given.\n", ""),
            (["--tab_file=missing.txt"], 255, "",
             "Table names file does not exist.\nPlease verify the correct path/name was given."),
            (["--src=e2e", "--user=SCOTT", "--pswd=wrong", "--xls_ver=2", "--dest=x.xlsx"], 255,
             "Error:\nInvalid user name or password.\n", ""),
            (["--src=nowhere", "--xls_ver=2", "--dest=x.xlsx"], 255,
             "Error:\nOracle data source does not exist. Check to verify the correct name was given.\n", ""),
        ]
        for args, code, out, err in cases:
            with self.subTest(args=args):
                got_code, got_out, got_err = self.run_quillcmd(*args)
                self.assertEqual(got_code, code)
                self.assertEqual(got_out, out)
                self.assertTrue(got_err.startswith(err), got_err)

    def test_whole_schema_to_xls(self):
        for version, cut in (("0", 254), ("1", 32766)):
            with self.subTest(version=version):
                old = self.path("all%s.xls" % version)
                with open(old, "w") as f:
                    f.write("an earlier workbook")
                code, out, err = self.run_quillcmd(*self.login(), "--xls_ver=" + version,
                                                   "--dest=all%s.xls" % version)
                self.assertEqual((code, err), (0, ""), out)
                self.assertIn("Converting table TEXTS (7 records)", out)
                sheets = xls_cells(old)
                # Every item after the first reopened the workbook and added its sheet.
                self.assertEqual(list(sheets), ["BINS", "CUSTOMER_ORDER_HISTORY_ARCHIVE",
                                                "CUSTOMER_ORDER_HISTORY_AR00000", "DATES", "EMP", "NUMS", "TEXTS"])
                self.assertEqual(sheets["TEXTS"][3][2], "x" * cut, "texts are cut at %d characters" % cut)
                sheets["TEXTS"][3][2] = ""
                for name in ("BINS", "DATES", "EMP", "NUMS", "TEXTS"):
                    self.assertEqual(sheets[name], expected_xls(name, int(version)), name)
                self.assertEqual(sheets["CUSTOMER_ORDER_HISTORY_AR00000"], [["ID"], [1.0]])

    def test_xls_header_rows_are_bold(self):
        for version in ("0", "1"):
            with self.subTest(version=version):
                code, out, err = self.run_quillcmd(*self.login(), "--xls_ver=" + version, "--dest=bold.xls")
                self.assertEqual(code, 0, out + err)
                book = xlrd.open_workbook(self.path("bold.xls"), formatting_info=True)
                # The patcher makes the fourth font bold and gives the header
                # cells format 16, which names that font: index 3 (no
                # workbook has a font of index 4).
                self.assertEqual(book.font_list[3].weight, 700)
                self.assertEqual(book.xf_list[16].font_index, 3)
                for sheet in book.sheets():
                    self.assertEqual({c.xf_index for c in sheet.row(0)}, {16}, sheet.name)
                    for r in range(1, sheet.nrows):
                        self.assertNotIn(16, {c.xf_index for c in sheet.row(r)}, sheet.name)

    def with_table(self, name, columns, rows, *args):
        """Runs QUILLCMD on one table added to the source for this run."""
        db = sqlite3.connect(os.path.join(self.folder, "e2e.db"))
        db.execute('CREATE TABLE "%s" (%s)' % (name, columns))
        db.executemany('INSERT INTO "%s" VALUES (%s)' % (name, ", ".join("?" * len(rows[0]))), rows)
        db.commit()
        try:
            return self.run_quillcmd(*self.login(), "--tab_file=" + self.tab_file(name), *args)
        finally:
            db.execute('DROP TABLE "%s"' % name)
            db.commit()
            db.close()

    def test_xls_dates_outside_the_sheets_range_are_reported_by_record(self):
        code, out, err = self.with_table("OLD", '"ID" NUMBER(4), "D" DATE',
                                         [(1, "2001-03-12"), (2, "1850-06-01"), (3, "1999-01-02")],
                                         "--xls_ver=1", "--dest=old.xls")
        self.assertEqual(code, 255, "a record that was not converted fails the run")
        self.assertIn('Error:\nOLD, record #2: Date fields of the source database do not fall in the range accepted '
                      'by MS Excel. Restart the program with "Convert dates into strings" checkbox selected. \n', out)
        self.assertEqual(xls_cells(self.path("old.xls"))["OLD"],
                         [["ID", "D"], [1.0, "2001-03-12 00:00:00"], [3.0, "1999-01-02 00:00:00"]])
        code, out, err = self.with_table("OLD", '"ID" NUMBER(4), "D" DATE', [(2, "1850-06-01")],
                                         "--xls_ver=1", "--date2str", "--dest=old_text.xls")
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(xls_cells(self.path("old_text.xls"))["OLD"], [["ID", "D"], [2.0, "1850-06-01"]])

    def test_xls_table_of_more_than_255_columns_is_cut_and_says_so(self):
        # Lost fields fail the run, as lost records do.
        columns = ", ".join('"C%d" NUMBER(4)' % i for i in range(300))
        rows = [tuple(range(300)), tuple(range(300, 600))]
        for version, name in (("0", "Excel 5.0"), ("1", "Excel 2000")):
            with self.subTest(version=version):
                code, out, err = self.with_table("WIDE", columns, rows, "--xls_ver=" + version, "--dest=wide.xls")
                self.assertEqual((code, err), (255, ""), out)
                self.assertIn("Error:\nWIDE: The table has more columns than an %s worksheet holds; only its first "
                              "255 fields were written.\n" % name, out)
                sheets = xls_cells(self.path("wide.xls"))
                self.assertEqual(sheets["WIDE"], [["C%d" % i for i in range(255)], [float(i) for i in range(255)],
                                                  [float(i) for i in range(300, 555)]])
        code, out, err = self.with_table("WIDE", columns, rows, "--xls_ver=2", "--dest=wide.xlsx")
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(cell_texts(self.path("wide.xlsx"))["WIDE"],
                         [["C%d" % i for i in range(300)], [str(i) for i in range(300)],
                          [str(i) for i in range(300, 600)]])

    def test_many_tables_to_xls_match_the_golden_workbooks(self):
        # Each run's workbook stream, record by record after the patch, and
        # what the run printed, as the golden files hold them; among the
        # tables one fails half-way and one loses a record.
        schema.build_many(os.path.join(self.folder, "many.db"))
        for version, options in (("0", ["--wrap"]), ("1", [])):
            with self.subTest(version=version):
                book = self.path("many%s.xls" % version)
                code, out, err = self.run_quillcmd("--src=many", "--xls_ver=" + version, *options,
                                                   "--dest=" + book)
                self.assertEqual((code, err), (255, ""), out)
                sheets = xls_cells(book)
                self.assertEqual(sheets["BETA"], [["ID", "T"], [1.0, "b1"], [2.0, "b2"]],
                                 "the rows before the failure stay")
                self.assertEqual(sheets["GAMMA"][-1], [40.0, "gamma 40", "shared"], "the tables after it are written")
                golden = os.path.join(HERE, "golden", "many%s.txt" % version)
                got = ["exit %d" % code] + out.splitlines() + ["--"] + record_dump(book)
                if os.environ.get("QM_WRITE_GOLDEN"):
                    os.makedirs(os.path.dirname(golden), exist_ok=True)
                    with open(golden, "w", encoding="utf-8") as f:
                        f.write("\n".join(got) + "\n")
                with open(golden, encoding="utf-8") as f:
                    self.assertEqual(got, f.read().splitlines())

    def test_settings_file_overridden_by_a_later_option(self):
        profile = self.path("p.qlt")
        with open(profile, "w", encoding="utf-8") as f:
            f.write("[Generic settings]\ndest=first.xlsx\nsrc=e2e\n\n[MS Excel settings]\nformat version=2\n\n"
                    "[Oracle settings]\npassword=tiger\nuser=SCOTT\n\n[Selected Tables]\nDATES\n\n")
        code, out, err = self.run_quillcmd("--profile=p.qlt", "--dest=second.xlsx")
        self.assertEqual((code, err), (0, ""), out)
        self.assertFalse(os.path.exists(self.path("first.xlsx")))
        self.assertEqual(list(cell_texts(self.path("second.xlsx"))), ["DATES"])

    def test_the_login_options_and_a_settings_file_apply_in_their_order(self):
        bare = "[Generic settings]\ndest=login.xlsx\nsrc=e2e\n\n[MS Excel settings]\nformat version=2\n\n" \
               "[Selected Tables]\nDATES\n\n"
        with_login = bare + "[Oracle settings]\npassword=tiger\nuser=SCOTT\n\n"
        refused = "Error:\nInvalid user name or password.\n"
        cases = [
            # The file leaves the login out: the options on either side of it give it.
            (bare, ["--user=SCOTT", "--pswd=tiger", "--profile=p.qlt"], 0, ""),
            (bare, ["--profile=p.qlt", "--user=SCOTT", "--pswd=tiger"], 0, ""),
            # The file holds it: an option to its right overrides it, one to its left does not.
            (with_login, ["--profile=p.qlt", "--pswd=wrong"], 255, refused),
            (with_login, ["--pswd=wrong", "--profile=p.qlt"], 0, ""),
        ]
        for text, args, code, out in cases:
            with self.subTest(args=args, login=text is with_login):
                with open(self.path("p.qlt"), "w", encoding="utf-8") as f:
                    f.write(text)
                got = self.run_quillcmd(*args)
                self.assertEqual(got[0], code, got)
                self.assertTrue(got[1].endswith(out), got)
                self.assertEqual(os.path.exists(self.path("login.xlsx")), code == 0)
                if code == 0:
                    os.remove(self.path("login.xlsx"))

    def test_nothing_to_convert_keeps_the_old_workbook(self):
        empty = os.path.join(self.folder, "empty.db")
        if not os.path.exists(empty):
            db = sqlite3.connect(empty)
            schema.add_login(db)
            db.commit()
            db.close()
        missing = self.tab_file("NO_SUCH_TABLE")
        failing = self.path("failing.qlt")
        with open(failing, "w", encoding="utf-8") as f:
            f.write("[Generic settings]\nsrc=e2e\n\n[Oracle settings]\npassword=tiger\nuser=SCOTT\n\n"
                    "[Selected Tables]\nQ1=SELECT * FROM NO_SUCH_TABLE\nQ2=SELECT NOPE FROM EMP\n\n")
        # A source without tables; a table list that names none of the
        # source's; a selection whose every item fails before its first row.
        # A run with failures says what became of the old workbook.
        kept = "Error:\nNo table or query was converted. The existing workbook was left as it was.\n"
        cases = ((["--src=empty", "--user=SCOTT", "--pswd=tiger"], 0, "Converting database empty(0 tables)\n", ""),
                 (self.login() + ["--tab_file=" + missing], 255, "Converting database e2e(1 tables)\n" + kept,
                  "Table NO_SUCH_TABLE not exists\n"),
                 (["--profile=failing.qlt"], 255,
                  "Converting database e2e(0 tables)\nError:\nQ1: ORA-00942: table or view does not exist \n"
                  "Error:\nQ2: ORA-00904: \"NOPE\": invalid identifier \n" + kept, ""))
        for version, ext in (("0", "xls"), ("1", "xls"), ("2", "xlsx")):
            for args, code, out, err in cases:
                with self.subTest(version=version, args=args):
                    old = self.path("kept." + ext)
                    with open(old, "w") as f:
                        f.write("an earlier workbook")
                    got = self.run_quillcmd(*args, "--xls_ver=" + version, "--dest=kept." + ext)
                    self.assertEqual(got, (code, out, err))
                    with open(old) as f:
                        self.assertEqual(f.read(), "an earlier workbook")
                    self.assertEqual(sorted(os.listdir(self.work)), ["failing.qlt", "kept." + ext, "list.txt"])
                    os.remove(old)

    def test_unwritable_destination_reports_the_failure(self):
        os.mkdir(self.path("folder.xlsx"))
        code, out, err = self.run_quillcmd(*self.login(), "--xls_ver=2", "--dest=folder.xlsx")
        self.assertEqual(code, 255)
        self.assertEqual(out, "Error:\nDestination name should specify a file, not folder.\n")

    def test_failed_package_is_reported_and_leaves_nothing(self):
        code, out, err = self.run_quillcmd(*self.login(), "--xls_ver=2", "--dest=nozip.xlsx", path=self.work)
        self.assertEqual(code, 255)
        self.assertIn("Error:\nCannot write the destination file", out)
        self.assertNotIn("is converted", out)
        self.assertFalse(os.path.exists(self.path("nozip.xlsx")))
        self.assert_no_temporary_folder()


if __name__ == "__main__":
    e2e_support.main()
