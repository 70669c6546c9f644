"""End-to-end tests of QUILLCMD on texts that Excel counts in UTF-16 units:
characters beyond the Basic Multilingual Plane in cells, sheet names and
field names, long values and names, Excel 5.0 sheet names that the
workbook's code page cannot hold, and Excel 5.0 workbooks in each of its
code pages. Read back with xlrd and openpyxl.

usage: text_limits.py QUILLCMD [unittest arguments]
"""
import os
import shutil
import sqlite3
import tempfile
import unittest

import xlrd

import e2e_support
import schema

EMOJI = "\U0001F600"
LONG_NAME_A = "C" * 70 + "A"
LONG_NAME_B = "C" * 70 + "B"
EMOJI_NAME = EMOJI * 40
LONG_C = "ab" * 10000
LONG_D = "a\r\n" * 10000
# The code pages of Excel 5.0 text, in the order they are tried.
CODE_PAGES = (1252, 1250, 1251, 1253, 1254, 1257, 1255, 1256, 874)
# The font character set of each code page.
FONT_CHARSETS = {1252: 0, 1250: 238, 1251: 204, 1253: 161, 1254: 162, 1257: 186, 1255: 177, 1256: 178, 874: 222}


def code_page_text(codepage):
    """Every character of the code page's upper half, as Windows assigns
    them: no code page tried before it holds them all."""
    chars = []
    for byte in range(0x80, 0x100):
        try:
            chars.append(bytes([byte]).decode("cp%d" % codepage))
        except UnicodeDecodeError:
            pass
    return "Az " + "".join(chars)


def units(text):
    """The length of a text as Excel counts it."""
    return len(text.encode("utf-16-le")) // 2


def build(path):
    db = sqlite3.connect(path)
    x = db.execute
    schema.add_login(db)
    x('CREATE TABLE "ROWS" ("ID" NUMBER(6), "T" VARCHAR2(100))')
    db.executemany('INSERT INTO "ROWS" VALUES (?, ?)', [(n, "Ж user %d %s" % (n, EMOJI)) for n in range(1, 3001)])
    x('CREATE TABLE "CLOBS" ("ID" NUMBER(4), "C" CLOB)')
    x('INSERT INTO "CLOBS" VALUES (1, ?)', ("x" + EMOJI * 20000,))
    # Texts whose concatenations pass what a text column of a query takes.
    x('CREATE TABLE "LONGS" ("C" CLOB, "D" CLOB)')
    x('INSERT INTO "LONGS" VALUES (?, ?)', (LONG_C, LONG_D))
    x('CREATE TABLE "%s" ("ID" NUMBER(4))' % (EMOJI * 20))
    x('INSERT INTO "%s" VALUES (1)' % (EMOJI * 20))
    x('CREATE TABLE "COLS" ("%s" NUMBER(4), "%s" NUMBER(4), "%s" NUMBER(4))' % (LONG_NAME_A, LONG_NAME_B, EMOJI_NAME))
    x('INSERT INTO "COLS" VALUES (1, 2, 3)')
    # Three Cyrillic names, the last holding Greek text: no one code page of
    # Excel 5.0 holds the workbook then.
    for name, text in (("Лист", "да"), ("Ящик", "нет"), ("Яя", "Καλημέρα")):
        x('CREATE TABLE "%s" ("T" VARCHAR2(20))' % name)
        x('INSERT INTO "%s" VALUES (?)' % name, (text,))
    for codepage in CODE_PAGES:
        x('CREATE TABLE "CP%d" ("T" VARCHAR2(1000))' % codepage)
        x('INSERT INTO "CP%d" VALUES (?)' % codepage, (code_page_text(codepage),))
    db.commit()
    db.close()


class TextLimitsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="qm_texts_")
        build(os.path.join(cls.folder, "texts.db"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="run_", dir=self.folder)

    def convert(self, version, dest, *tables):
        """Runs QUILLCMD on these tables; returns the workbook as read back."""
        with open(os.path.join(self.work, "list.txt"), "w", encoding="utf-8") as f:
            f.write("\n".join(tables) + "\n")
        code, out, err = e2e_support.run(["--src=texts", "--user=SCOTT", "--pswd=tiger", "--tab_file=list.txt",
                                          "--xls_ver=%d" % version, "--dest=" + dest], self.work, self.folder)
        self.assertEqual((code, err), (0, ""), out)
        self.assertNotIn("Error", out)
        path = os.path.join(self.work, dest)
        return e2e_support.cell_texts(path) if version == 2 else e2e_support.xls_cells(path)

    def test_string_table_of_many_texts_with_pairs_reads_back_whole(self):
        sheets = self.convert(1, "rows.xls", "ROWS")
        rows = sheets["ROWS"]
        self.assertEqual(len(rows), 3001)
        self.assertEqual([r[1] for r in rows[1:]], ["Ж user %d %s" % (n, EMOJI) for n in range(1, 3001)])

    def test_long_texts_are_cut_in_utf16_units_between_characters(self):
        # 254 units in Excel 5.0, where the code page shows each character
        # as "?"; 32766 units in the other formats.
        for version, dest, cell in ((0, "c0.xls", "x" + "?" * 126), (1, "c1.xls", "x" + EMOJI * 16382),
                                    (2, "c2.xlsx", "x" + EMOJI * 16382)):
            with self.subTest(version=version):
                sheets = self.convert(version, dest, "CLOBS")
                value = sheets["CLOBS"][1][1]
                self.assertEqual(units(value), units(cell))
                self.assertEqual(value, cell)

    def test_a_text_result_longer_than_a_query_column_takes_is_cut_as_a_cell_keeps_it(self):
        # Each concatenation passes the 32,767 units of a text column: the
        # value is read on and cut where a cell of the format ends, its line
        # ends folded first (so the doubled D needs more than the column's
        # room to fill a cell).
        with open(os.path.join(self.work, "q.qlt"), "w", encoding="utf-8") as f:
            f.write('[Generic settings]\nsrc=texts\n\n[Oracle settings]\nuser=SCOTT\npassword=tiger\n\n'
                    '[Selected Tables]\nQ=SELECT "C" || "C" AS "CC", "D" || "D" AS "DD" FROM "LONGS"\n\n')
        cc = LONG_C * 2
        dd = (LONG_D * 2).replace("\r\n", "\n")
        for version, dest, limit in ((0, "q0.xls", 254), (1, "q1.xls", 32766), (2, "q2.xlsx", 32766)):
            with self.subTest(version=version):
                code, out, err = e2e_support.run(["--profile=q.qlt", "--xls_ver=%d" % version, "--dest=" + dest],
                                                 self.work, self.folder)
                self.assertEqual((code, err), (0, ""), out)
                path = os.path.join(self.work, dest)
                sheets = e2e_support.cell_texts(path) if version == 2 else e2e_support.xls_cells(path)
                self.assertEqual(sheets["Q"][0], ["CC", "DD"])
                got = sheets["Q"][1]
                self.assertEqual([len(v) for v in got], [limit, limit])
                self.assertTrue(got == [cc[:limit], dd[:limit]], "the cells are not the texts' beginnings")

    def test_sheet_names_are_cut_in_utf16_units(self):
        # A title keeps 31 units; the run's safe name keeps 30.
        for version, dest, title in ((0, "s0.xls", "_" * 15), (1, "s1.xls", EMOJI * 15), (2, "s2.xlsx", EMOJI * 15)):
            with self.subTest(version=version):
                sheets = self.convert(version, dest, EMOJI * 20)
                self.assertEqual(list(sheets), [title])
                self.assertEqual(sheets[title], [["ID"], [1.0 if version != 2 else "1"]])

    def test_long_field_names_are_cut_and_kept_unique(self):
        for version, dest in ((0, "f0.xls"), (1, "f1.xls")):
            with self.subTest(version=version):
                header, values = self.convert(version, dest, "COLS")["COLS"]
                emoji = "?" * 31 if version == 0 else EMOJI * 31
                self.assertEqual(header, ["C" * 63, "C" * 58 + "00000", emoji])
                self.assertEqual(values, [1.0, 2.0, 3.0])
        header, values = self.convert(2, "f2.xlsx", "COLS")["COLS"]
        self.assertEqual(header, [LONG_NAME_A, LONG_NAME_B, EMOJI_NAME], "a package keeps names whole")

    def test_excel5_sheet_names_are_legal_and_unique_as_written(self):
        sheets = self.convert(0, "names.xls", "Лист", "Ящик", "Яя")
        self.assertEqual(list(sheets), ["____", "____00000", "__"])
        self.assertEqual(sheets["__"], [["T"], ["????????"]])

    def test_excel5_text_of_one_script_keeps_every_character_in_its_code_page(self):
        for codepage in CODE_PAGES:
            with self.subTest(codepage=codepage):
                dest = "cp%d.xls" % codepage
                sheets = self.convert(0, dest, "CP%d" % codepage)
                book = xlrd.open_workbook(os.path.join(self.work, dest), formatting_info=True)
                self.assertEqual(book.codepage, codepage)
                # Readers decode a cell's text by its font's character set.
                self.assertEqual({font.character_set for font in book.font_list}, {FONT_CHARSETS[codepage]})
                self.assertTrue(book.font_list[3].bold)  # the bold font keeps it through the patch
                self.assertEqual(sheets["CP%d" % codepage], [["T"], [code_page_text(codepage)]])
        # Excel 2000 text is UTF-16, whatever the font says: the fonts stay Western.
        self.convert(1, "cp1251_2000.xls", "CP1251")
        book = xlrd.open_workbook(os.path.join(self.work, "cp1251_2000.xls"), formatting_info=True)
        self.assertEqual({font.character_set for font in book.font_list}, {0})


if __name__ == "__main__":
    e2e_support.main()
