"""End-to-end tests of the sheet names QUILLCMD gives queries, in each
format: names that readers would change or take for one another (control
characters, names equal once fully case-folded, History, long names that
share their start) become distinct sheets, and a blank name is refused.
Read back with openpyxl and xlrd; cells holding what a reader decodes read
back as written.

usage: sheet_names.py QUILLCMD [unittest arguments]
"""
import os
import shutil
import sqlite3
import tempfile
import unittest

import e2e_support
import schema

FORMATS = ((0, "xls"), (1, "xls"), (2, "xlsx"))
QUERY = "SELECT ID FROM ONE"
# Query names and the sheets they become, in the order the run makes them
# (the names' ordinal order).
FAMILIES = {
    "control characters": [("T\tX", "T_X"), ("T X", "T X"), ("a\x01b", "a_b"), ("ab", "ab"),
                            ("d\x7fe", "d_e")],
    "full case folding": [("STRASSE", "STRASSE"), ("Straße", "Straße00000"), ("straße", "straße00001")],
    "restricted": [("HISTORY", "HISTORY00000"), ("Historie", "Historie"), ("History", "History00001")],
    "long names": [("P" * 30 + "_A", "P" * 30), ("P" * 30 + "_B", "P" * 25 + "00000"),
                   ("P" * 30 + "_C", "P" * 25 + "00001")],
}
TEXTS = ["_x0041_", "_X0041_", "_x005f_", "a\tb", "l1\nl2", "end\n", " lead"]


def settings(dest, version, queries):
    text = ("[Generic settings]\ndest=%s\nsrc=names\n\n[MS Excel settings]\nformat version=%d\n\n"
            "[Oracle settings]\npassword=tiger\nuser=SCOTT\n\n[Selected Tables]\n" % (dest, version))
    return text + "".join("%s=%s\n" % (name, query) for name, query in queries) + "\n"


class SheetNamesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="qm_names_")
        db = sqlite3.connect(os.path.join(cls.folder, "names.db"))
        schema.add_login(db)
        db.execute('CREATE TABLE "ONE" ("ID" NUMBER(4))')
        db.execute('INSERT INTO "ONE" VALUES (7)')
        db.execute('CREATE TABLE "TEXTS" ("T" VARCHAR2(20))')
        db.executemany('INSERT INTO "TEXTS" VALUES (?)', [(t,) for t in TEXTS])
        db.commit()
        db.close()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def convert(self, version, ext, queries):
        """Runs QUILLCMD on these queries: exit code, output and the
        workbook as read back (None when there is none)."""
        work = tempfile.mkdtemp(prefix="run_", dir=self.folder)
        dest = os.path.join(work, "names." + ext)
        with open(os.path.join(work, "p.qlt"), "w", encoding="utf-8") as f:
            f.write(settings(dest, version, queries))
        code, out, err = e2e_support.run(["--profile=p.qlt"], work, self.folder)
        self.assertEqual(err, "")
        if not os.path.exists(dest):
            return code, out, None
        return code, out, e2e_support.cell_texts(dest) if version == 2 else e2e_support.xls_cells(dest)

    def test_names_readers_would_change_or_merge_become_distinct_sheets(self):
        for family, names in FAMILIES.items():
            for version, ext in FORMATS:
                with self.subTest(family=family, version=version):
                    code, out, sheets = self.convert(version, ext, [(name, QUERY) for name, _ in names])
                    self.assertEqual(code, 0, out)
                    self.assertEqual(list(sheets), [sheet for _, sheet in names])
                    # Distinct however a reader compares them.
                    self.assertEqual(len({s.casefold() for s in sheets}), len(names))
                    self.assertEqual(len({s.lower() for s in sheets}), len(names))
                    one = 7.0 if version != 2 else "7"
                    for sheet, rows in sheets.items():
                        self.assertEqual(rows, [["ID"], [one]], sheet)

    def test_a_blank_name_is_refused_in_every_format(self):
        for version, ext in FORMATS:
            with self.subTest(version=version):
                # A settings line " =..." names its query "".
                code, out, sheets = self.convert(version, ext, [(" ", QUERY), ("kept", QUERY)])
                self.assertEqual(code, 255)
                self.assertIn("Error:\nA table or query whose name is blank cannot be converted: a worksheet needs a "
                              "name.\n", out)
                self.assertEqual(list(sheets), ["kept"])

    def test_texts_readers_decode_read_back_as_written(self):
        for version, ext in FORMATS:
            with self.subTest(version=version):
                code, out, sheets = self.convert(version, ext, [("T", 'SELECT T FROM TEXTS')])
                self.assertEqual(code, 0, out)
                self.assertEqual(sheets["T"], [["T"]] + [[t] for t in TEXTS])


if __name__ == "__main__":
    e2e_support.main()
