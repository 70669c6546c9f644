"""End-to-end tests of QUILLCMD on values at the edges of what each format
holds: years before 100, the days around 1900-01-01, long LONG RAW values,
numbers of more decimal places than a DECIMAL has, the numbers of every
numeric type and of query expressions, infinite floats, NUL characters and
nanoseconds. The workbooks are read back
with xlrd (.xls) and openpyxl (.xlsx).

usage: run_values.py QUILLCMD [unittest arguments]
"""
import os
import sqlite3
import struct
import tempfile
import unittest

import e2e_support
import schema

MILLION = bytes((i * 7 + 1) % 256 for i in range(1000000))
INF = float("inf")
DATE_RANGE = ("Date fields of the source database do not fall in the range accepted by MS Excel. "
              'Restart the program with "Convert dates into strings" checkbox selected. \n')


EDGE_DATES = ["1899-12-29 12:00:00", "1899-12-30", "1899-12-30 10:20:30", "1899-12-31 23:59:59", "1900-01-01",
              "1900-01-01 00:00:01", "1900-02-28", "1900-03-01 10:00:00"]
# The .xlsx text of each number, as a person writes it; the server's text
# where a 28-digit decimal cannot hold the NUMBER. A BINARY_FLOAT is a
# 32-bit float: 16777217 is kept as 16777216.
NUMBER_TEXTS = [
    ["ID", "N", "NPS", "F", "BF", "BD"],
    ["1", "1", "3450.5", "3.14", "0.1", "0.1"],
    ["2", "0.1", "-0.25", "1.5", "1.5", "1.5"],
    ["3", "1500", "12345678.75", "-2", "3", "3"],
    ["4", "-0.000001", "0", "0.000123", "-0.5", "-1E+100"],
    ["5", "12345678901234567", None, "1234567890.1234567891", "16777216", "5E-324"],
    ["6", "123456789012345678901234567890", None, None, "16777216", "1E+21"],
    ["7", "1E+100", None, None, "3.4E+38", "123456789.125"],
    ["8", "0.3333333333333333333333333333333333333333", None, None, None, None],
]
NUMBER_QUERY = 'SELECT COUNT(*) AS CNT, SUM("ID") AS S, SUM("NPS") AS SNPS, MAX("ID") * 0.25 AS Q FROM "NUMBERS"'


def build(path):
    schema.build(path)
    db = sqlite3.connect(path)
    x = db.execute
    x('CREATE TABLE "OLD_DATES" ("ID" NUMBER(4), "D" DATE)')
    db.executemany('INSERT INTO "OLD_DATES" VALUES (?, ?)',
                   [(1, "0001-01-01"), (2, "0050-06-01"), (3, "1850-06-01"), (4, "1999-01-02")])
    x('CREATE TABLE "LONG_RAWS" ("ID" NUMBER(4), "B" LONG RAW)')
    db.executemany('INSERT INTO "LONG_RAWS" VALUES (?, ?)',
                   [(1, MILLION), (2, MILLION + b"\x42"), (3, None)])
    # ocilite keeps a number exactly as the BLOB of its text.
    x('CREATE TABLE "TINY" ("ID" NUMBER(4), "N" NUMBER(38,38))')
    db.executemany('INSERT INTO "TINY" VALUES (?, ?)', [(1, b"1E-30"), (2, 0.5), (3, b"-1.23E-30")])
    # A negative scale rounds to tens: NUMBER(38,-1) holds 39 digits.
    x('CREATE TABLE "ROUNDED" ("ID" NUMBER(4), "A" NUMBER(38,-1), "B" NUMBER(30,-10))')
    db.executemany('INSERT INTO "ROUNDED" VALUES (?, ?, ?)', [
        (1, b"123456789012345678901234567890123456780", 12300000000),
        (2, b"-999999999999999999999999999999999999990", -10000000000),
        (3, 10, 0)])
    x('CREATE TABLE "NULS" ("ID" NUMBER(4), "V" VARCHAR2(20), "L" LONG, "C" CLOB)')
    x('INSERT INTO "NULS" VALUES (1, ?, ?, ?)', ("ab\0cd", "ij\0kl", "ef\0gh"))
    x('CREATE TABLE "NANOS" ("ID" NUMBER(4), "TS" TIMESTAMP(9))')
    x("INSERT INTO \"NANOS\" VALUES (1, '2010-12-31 23:59:59.999999999')")
    x('CREATE TABLE "EDGE_DATES" ("ID" NUMBER(4), "D" DATE)')
    db.executemany('INSERT INTO "EDGE_DATES" VALUES (?, ?)', enumerate(EDGE_DATES, 1))
    # ocilite keeps a NaN as the text "Nan": SQLite keeps none.
    x('CREATE TABLE "INFS" ("ID" NUMBER(4), "BD" BINARY_DOUBLE, "BF" BINARY_FLOAT, "T" VARCHAR2(10))')
    db.executemany('INSERT INTO "INFS" VALUES (?, ?, ?, ?)',
                   [(1, INF, -INF, "a"), (2, "Nan", 1.5, "b"), (3, -INF, "Nan", "c")])
    x('CREATE TABLE "NUMBERS" ("ID" NUMBER(4), "N" NUMBER, "NPS" NUMBER(10,2), "F" FLOAT, "BF" BINARY_FLOAT, '
      '"BD" BINARY_DOUBLE)')
    db.executemany('INSERT INTO "NUMBERS" VALUES (?, ?, ?, ?, ?, ?)', [
        (1, 1, 3450.5, 3.14, 0.1, 0.1),
        (2, 0.1, -0.25, 1.5, 1.5, 1.5),
        (3, 1500, 12345678.75, -2, 3, 3),
        (4, -0.000001, 0, 0.000123, -0.5, -1e100),
        (5, b"12345678901234567", None, b"1234567890.1234567891", 16777216, 5e-324),
        (6, b"123456789012345678901234567890", None, None, 16777217, 1e21),
        (7, b"1E+100", None, None, 3.4e38, 123456789.125),
        (8, b".3333333333333333333333333333333333333333", None, None, None, None),
    ])
    db.commit()
    db.close()


class ValuesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="qm_values_")
        build(os.path.join(cls.folder, "vals.db"))

    @classmethod
    def tearDownClass(cls):
        e2e_support.remove_tree(cls.folder)

    def convert(self, table, version, *args):
        """Runs QUILLCMD on one table; the exit code, the output and the
        workbook's rows of that table."""
        work = tempfile.mkdtemp(prefix="run_", dir=self.folder)
        with open(os.path.join(work, "list.txt"), "w") as f:
            f.write(table + "\n")
        dest = os.path.join(work, "out.xlsx" if version == 2 else "out.xls")
        code, out, err = e2e_support.run(["--src=vals", "--user=SCOTT", "--pswd=tiger", "--tab_file=list.txt",
                                          "--xls_ver=%d" % version, "--dest=" + dest, *args], work, self.folder)
        self.assertEqual(err, "")
        sheets = e2e_support.cell_texts(dest) if version == 2 else e2e_support.xls_cells(dest)
        return code, out, sheets[table]

    def convert_queries(self, queries, version):
        """Runs QUILLCMD on the queries of a settings file, (name, text)
        pairs; the exit code, the output and the workbook's sheets. The
        source is left as it was, byte for byte."""
        work = tempfile.mkdtemp(prefix="run_", dir=self.folder)
        dest = os.path.join(work, "out.xlsx" if version == 2 else "out.xls")
        with open(os.path.join(work, "p.qlt"), "w") as f:
            f.write("[Generic settings]\ndest=%s\nsrc=vals\n\n[MS Excel settings]\nformat version=%d\n\n"
                    "[Oracle settings]\nuser=SCOTT\npassword=tiger\n\n[Selected Tables]\n%s\n"
                    % (dest, version, "".join("%s=%s\n" % q for q in queries)))
        with open(os.path.join(self.folder, "vals.db"), "rb") as f:
            source = f.read()
        code, out, err = e2e_support.run(["--profile=p.qlt"], work, self.folder)
        self.assertEqual(err, "")
        with open(os.path.join(self.folder, "vals.db"), "rb") as f:
            self.assertEqual(f.read(), source)
        sheets = e2e_support.cell_texts(dest) if version == 2 else e2e_support.xls_cells(dest)
        return code, out, sheets

    def convert_query(self, name, query, version):
        """Runs QUILLCMD on one query of a settings file; the exit code, the
        output and the workbook's rows of that query."""
        code, out, sheets = self.convert_queries([(name, query)], version)
        return code, out, sheets[name]

    def test_years_before_100_are_not_moved(self):
        texts = [["ID", "D"], [1.0, "0001-01-01"], [2.0, "0050-06-01"], [3.0, "1850-06-01"], [4.0, "1999-01-02"]]
        self.assertEqual(self.convert("OLD_DATES", 0)[::2], (0, texts))
        self.assertEqual(self.convert("OLD_DATES", 1, "--date2str")[::2], (0, texts))
        self.assertEqual(self.convert("OLD_DATES", 2)[::2],
                         (0, [["ID", "D"], ["1", "0001-01-01"], ["2", "0050-06-01"], ["3", "1850-06-01"],
                              ["4", "1999-01-02"]]))
        # As dates of Excel 2000, every year before 1900 is out of range.
        code, out, rows = self.convert("OLD_DATES", 1)
        self.assertEqual(code, 255)
        for record in (1, 2, 3):
            self.assertIn("OLD_DATES, record #%d: %s" % (record, DATE_RANGE), out)
        self.assertEqual(rows, [["ID", "D"], [4.0, "1999-01-02 00:00:00"]])

    def test_every_date_before_1900_takes_the_date_range_road_in_excel_2000(self):
        # Serial 1 is 1900-01-01: no worksheet date comes before it, not
        # even on 1899-12-30, whose date numbers are fractions of a day.
        texts = [["ID", "D"]] + [[float(n), d] for n, d in enumerate(EDGE_DATES, 1)]
        for version, args in ((0, ()), (0, ("--date2str",)), (1, ("--date2str",))):
            with self.subTest(version=version, args=args):
                self.assertEqual(self.convert("EDGE_DATES", version, *args)[::2], (0, texts))
        for args in ((), ("--date2str",)):
            with self.subTest(version=2, args=args):
                self.assertEqual(self.convert("EDGE_DATES", 2, *args)[::2],
                                 (0, [["ID", "D"]] + [[str(n), d] for n, d in enumerate(EDGE_DATES, 1)]))
        code, out, rows = self.convert("EDGE_DATES", 1)
        self.assertEqual(code, 255)
        for record in (1, 2, 3, 4):
            self.assertIn("EDGE_DATES, record #%d: %s" % (record, DATE_RANGE), out)
        self.assertNotIn("record #5", out)
        self.assertEqual(rows, [["ID", "D"], [5.0, "1900-01-01 00:00:00"], [6.0, "1900-01-01 00:00:01"],
                                [7.0, "1900-02-28 00:00:00"], [8.0, "1900-03-01 10:00:00"]])

    def test_infinite_floats_are_written_as_the_server_shows_them(self):
        # No BIFF number is infinite: the text, and the rest of the record.
        for version in (0, 1, 2):
            with self.subTest(version=version):
                code, out, rows = self.convert("INFS", version)
                self.assertEqual(code, 0, out)
                self.assertNotIn("Error", out)
                ids = ["1", "2", "3"] if version == 2 else [1.0, 2.0, 3.0]
                other = "1.5" if version == 2 else 1.5
                self.assertEqual(rows, [["ID", "BD", "BF", "T"], [ids[0], "Inf", "-Inf", "a"],
                                        [ids[1], "Nan", other, "b"], [ids[2], "-Inf", "Nan", "c"]])

    def test_xlsx_numbers_read_as_the_server_holds_them(self):
        code, out, rows = self.convert("NUMBERS", 2)
        self.assertEqual(code, 0, out)
        self.assertEqual(rows, NUMBER_TEXTS)
        code, out, rows = self.convert_query("QNUMS", NUMBER_QUERY, 2)
        self.assertEqual(code, 0, out)
        self.assertEqual(rows, [["CNT", "S", "SNPS", "Q"], ["8", "36", "12349129", "2"]])

    def test_xls_numbers_stay_worksheet_numbers(self):
        # A BIFF number is a double: a BINARY_FLOAT's is the float's own value.
        def number(text, column):
            if text is None:
                return ""
            return struct.unpack("f", struct.pack("f", float(text)))[0] if column == "BF" else float(text)
        expected = [NUMBER_TEXTS[0]] + [[number(t, c) for t, c in zip(row, NUMBER_TEXTS[0])]
                                        for row in NUMBER_TEXTS[1:]]
        for version in (0, 1):
            with self.subTest(version=version):
                code, out, rows = self.convert("NUMBERS", version)
                self.assertEqual(code, 0, out)
                self.assertEqual(rows, expected)
                code, out, rows = self.convert_query("QNUMS", NUMBER_QUERY, version)
                self.assertEqual(code, 0, out)
                self.assertEqual(rows, [["CNT", "S", "SNPS", "Q"], [8.0, 36.0, 12349129.0, 2.0]])

    def test_a_long_raw_of_a_million_bytes_is_not_null(self):
        for version in (0, 1, 2):
            with self.subTest(version=version):
                code, out, rows = self.convert("LONG_RAWS", version)
                self.assertEqual(code, 0, out)
                cells = [row[1] for row in rows[1:]]
                self.assertEqual(cells, ["<Binary Field>", "<Binary Field>", None if version == 2 else ""])

    def test_a_number_beyond_28_decimal_places_is_not_rounded(self):
        # Kept as the server's text, written with the zero before the point.
        for version, expected in ((0, [1e-30, 0.5, -1.23e-30]), (1, [1e-30, 0.5, -1.23e-30]),
                                  (2, ["0.000000000000000000000000000001", "0.5",
                                       "-0.00000000000000000000000000000123"])):
            with self.subTest(version=version):
                code, out, rows = self.convert("TINY", version)
                self.assertEqual(code, 0, out)
                self.assertEqual([row[1] for row in rows[1:]], expected)

    def test_a_number_of_negative_scale_keeps_its_digits(self):
        # 12300000000 fits a decimal; 39 digits do not and stay the server's.
        texts = [["ID", "A", "B"], ["1", "123456789012345678901234567890123456780", "12300000000"],
                 ["2", "-999999999999999999999999999999999999990", "-10000000000"], ["3", "10", "0"]]
        for version in (0, 1, 2):
            with self.subTest(version=version):
                code, out, rows = self.convert("ROUNDED", version)
                self.assertEqual(code, 0, out)
                expected = texts if version == 2 else [texts[0]] + [[float(t) for t in row] for row in texts[1:]]
                self.assertEqual(rows, expected)

    def test_query_arithmetic_is_decimal(self):
        # Division as the server divides, to 40 significant digits; the
        # other operations exact on numbers of more digits than a double.
        query = ('SELECT 1/3, 7/2 AS "B", 6/2 AS "C", -7 / 2 * 3 AS "D", "N" * 10 + 1 AS "E", "N" - 1 AS "F", '
                 '-"N" AS "G", ("N" + 0.5) / 2 AS "H", 2/3 AS "I" FROM "NUMBERS" WHERE "N" / 3 > 10000 AND "ID" > 5')
        row = ["0.3333333333333333333333333333333333333333", "3.5", "3", "-10.5",
               "1234567890123456789012345678901", "123456789012345678901234567889",
               "-123456789012345678901234567890", "61728394506172839450617283945.25",
               "0.6666666666666666666666666666666666666667"]
        code, out, sheets = self.convert_queries([("Q", query), ("QZ", 'SELECT "ID" / 0 FROM "NUMBERS"')], 2)
        self.assertEqual(code, 255, out)
        self.assertIn("Error:\nQZ: ORA-01476: divisor is equal to zero", out)
        self.assertEqual(sheets["Q"], [["1/3", "B", "C", "D", "E", "F", "G", "H", "I"], row, row[:4] + [
            "1E+101", "1E+100", "-1E+100", "5E+99", row[8]]])
        for version in (0, 1):
            with self.subTest(version=version):
                code, out, rows = self.convert_query("Q", query, version)
                self.assertEqual(code, 0, out)
                self.assertEqual(rows[1][:4], [1 / 3, 3.5, 3.0, -10.5])

    def test_a_nul_character_does_not_end_a_text(self):
        # No cell holds the character itself: only that character goes.
        for version in (0, 1, 2):
            with self.subTest(version=version):
                code, out, rows = self.convert("NULS", version)
                self.assertEqual(code, 0, out)
                self.assertEqual(rows[1][1:], ["abcd", "ijkl", "efgh"])

    def test_nanoseconds_are_cut_to_milliseconds(self):
        self.assertEqual(self.convert("NANOS", 0)[2][1][1], "2010-12-31 23:59:59.999")
        self.assertEqual(self.convert("NANOS", 1)[2][1][1], "2010-12-31 23:59:59")
        self.assertEqual(self.convert("NANOS", 2)[2][1][1], "2010-12-31 23:59:59.999")


if __name__ == "__main__":
    e2e_support.main()
