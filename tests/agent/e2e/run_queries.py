"""End-to-end tests of queries that ocilite answers as the server does: one
table of query and expected rows for each family (exact numbers in every
clause, dates, texts and NULLs, the forms of a first query, the order of
NULLs, two columns of one name), the expected values taken from the
server's rules (the exact ones computed with decimal), run through QUILLCMD
in the three formats and read back with openpyxl and xlrd; and the
server's errors for what it refuses.

usage: run_queries.py QUILLCMD [unittest arguments]
"""
import decimal
import os
import sqlite3
import tempfile
import unittest

import e2e_support
import schema

D = decimal.Decimal
# A NUMBER keeps 40 significant digits, rounded half away from zero; the
# tests' own sums are exact.
NUMBER = decimal.Context(prec=40, rounding=decimal.ROUND_HALF_UP)
decimal.getcontext().prec = 100

# Five numbers a double cannot tell apart but for the negative one and
# 0.1, stored as ocilite stores them: the BLOB of the text.
N = {1: D("12345678901234567891"), 2: D("12345678901234567892"),
     3: D("-123456789012345678901234567890123456"), 4: D("0.1"), 5: D("12345678901234567891.5")}


def build(path):
    db = sqlite3.connect(path)
    schema.add_login(db)
    db.execute('CREATE TABLE "G" ("ID" NUMBER(4), "N" NUMBER, "D" DATE, "S" VARCHAR2(20), "C" CHAR(5))')
    dates = {1: "2001-03-12", 2: "2001-03-12 00:00:00", 3: "2001-03-13", 4: "2000-12-31 23:59:59", 5: None}
    texts = {1: ("abc", "ab"), 2: ("Abc", "ab   "), 3: ("", None), 4: ("b", "x"), 5: (None, None)}
    for i in range(1, 6):
        n = str(N[i]).encode() if i != 4 else 0.1
        db.execute('INSERT INTO "G" VALUES (?, ?, ?, ?, ?)', (i, n, dates[i], *texts[i]))
    db.execute('CREATE TABLE "E" ("ID" NUMBER(4), "PARENT" NUMBER(4), "NAME" VARCHAR2(10))')
    db.executemany('INSERT INTO "E" VALUES (?, ?, ?)', [(1, None, "root"), (2, 1, "left"), (3, 1, "right"),
                                                        (4, 2, "leaf")])
    db.execute('CREATE TABLE "P" ("EMPNO" NUMBER(4), "ENAME" VARCHAR2(10), "COMM" NUMBER(7,2))')
    db.executemany('INSERT INTO "P" VALUES (?, ?, ?)', [(1, "HARLOW", None), (2, "BRANDT", 400),
                                                        (3, "ÇELIK", 1250.75), (4, "DUPUIS", 0)])
    # Time stamps with and without a zone (rows 1 and 2 are one instant),
    # a CHAR of bytes.
    db.execute('CREATE TABLE "Q" ("ID" NUMBER(4), "T" TIMESTAMP(6), "Z" "TIMESTAMP(6) WITH TIME ZONE", '
               '"B" "CHAR(4 BYTE)")')
    db.executemany('INSERT INTO "Q" VALUES (?, ?, ?, ?)',
                   [(1, "2001-03-12 10:00:00", "2001-03-12 10:00:00 +02:00", "é"),
                    (2, "2001-03-12 10:00:00.5", "2001-03-12 08:00:00 +00:00", "ab"),
                    (3, None, "2001-03-12 09:00:00 +00:00", None)])
    db.commit()
    db.close()


def day(text):
    """A DATE value as the query gives it."""
    return ("date", text)


THIRD = NUMBER.divide(D(1), D(3))
SUM_125 = N[1] + N[2] + N[5]

# Sheet: (query, header, rows). A number is a Decimal, a date day(...), a
# text a str, NULL None.
FAMILIES = {
    "EXACT_DISTINCT": ('SELECT DISTINCT "N" * 1 AS "D" FROM "G" ORDER BY 1', ["D"],
                       [[N[3]], [N[4]], [N[1]], [N[5]], [N[2]]]),
    "EXACT_WHERE": ('SELECT "ID" FROM "G" WHERE "N" = 12345678901234567891 OR "N" < 0 ORDER BY "ID"', ["ID"],
                    [[D(1)], [D(3)]]),
    "EXACT_GROUPS": ('SELECT "N" * 1 AS "K", COUNT(*) AS "C" FROM "G" GROUP BY "N" * 1 ORDER BY "K" DESC', ["K", "C"],
                     [[N[2], D(1)], [N[5], D(1)], [N[1], D(1)], [N[4], D(1)], [N[3], D(1)]]),
    "EXACT_UNION": ('SELECT "N" FROM "G" UNION SELECT "N" + 0 FROM "G" ORDER BY 1', ["N"],
                    [[N[3]], [N[4]], [N[1]], [N[5]], [N[2]]]),
    "EXACT_AGGREGATES": ('SELECT MAX("N") AS "MX", MIN("N") AS "MN", SUM("N") AS "S", AVG("N") AS "A" FROM "G" '
                         'WHERE "ID" IN (1, 2, 5)', ["MX", "MN", "S", "A"],
                         [[N[2], N[1], SUM_125, NUMBER.divide(SUM_125, D(3))]]),
    "EXACT_SUM": ('SELECT SUM("X") AS "S" FROM (SELECT 0.1 AS "X" FROM DUAL UNION ALL SELECT 0.2 FROM DUAL)', ["S"],
                  [[D("0.3")]]),
    "INLINE_VIEW": ('SELECT "X", 12345678901234567890123 AS "L" FROM (SELECT 1/3 AS "X" FROM DUAL)', ["X", "L"],
                    [[THIRD, D("12345678901234567890123")]]),
    "EXACT_FUNCTIONS": ('SELECT MOD(9007199254740993, 7) AS "M", ABS("N") AS "A", ROUND("N" / 7, 2) AS "R", '
                        'TRUNC("N", -19) AS "T", MOD("N", 1000) AS "MN" FROM "G" WHERE "ID" = 3',
                        ["M", "A", "R", "T", "MN"],
                        [[D(9007199254740993 % 7), -N[3],
                          NUMBER.divide(N[3], D(7)).quantize(D("0.01"), rounding=decimal.ROUND_HALF_UP),
                          (N[3] / D(10) ** 19).to_integral_value(rounding=decimal.ROUND_DOWN) * D(10) ** 19,
                          N[3] % 1000]]),  # decimal keeps the sign of the dividend, as MOD does
    "DATES": ('SELECT "ID", "D" + 1 AS "D1", "D" - 0.5 AS "H", TRUNC("D", \'MM\') AS "T", ADD_MONTHS("D", 1) AS "AM" '
              'FROM "G" WHERE "D" = TO_DATE(\'2001-03-12\', \'YYYY-MM-DD\') ORDER BY "ID"', ["ID", "D1", "H", "T", "AM"],
              [[D(i), day("2001-03-13"), day("2001-03-11 12:00:00"), day("2001-03-01"), day("2001-04-12")]
               for i in (1, 2)]),
    "DATE_EXPRESSIONS": ('SELECT TO_DATE(\'2001-03-12 10:20:30\', \'YYYY-MM-DD HH24:MI:SS\') AS "T", '
                         'MAX("D") AS "M", DATE \'2001-03-13\' - MIN("D") AS "DAYS" FROM "G"', ["T", "M", "DAYS"],
                         [[day("2001-03-12 10:20:30"), day("2001-03-13"), NUMBER.divide(D(71 * 86400 + 1), D(86400))]]),
    "ZONES": ('SELECT "ID" FROM "Q" WHERE "Z" = (SELECT "Z" FROM "Q" WHERE "ID" = 2) '
              'OR "T" > \'12-MAR-01 10.00.00.4 AM\' ORDER BY "Z" DESC, "ID"', ["ID"], [[D(1)], [D(2)]]),
    "ZONE_ORDER": ('SELECT "ID" FROM "Q" ORDER BY "Z" DESC, "ID"', ["ID"], [[D(3)], [D(1)], [D(2)]]),
    "TEXTS": ('SELECT "ENAME" || \' \' || "COMM" AS "T" FROM "P" ORDER BY "EMPNO"', ["T"],
              [["HARLOW "], ["BRANDT 400"], ["ÇELIK 1250.75"], ["DUPUIS 0"]]),
    "TEXT_FUNCTIONS": ('SELECT \'a\' || NULL AS "A", UPPER(\'zieliŃska\') AS "U", SUBSTR(\'abcdef\', 0, 2) AS "S", '
                       'LENGTH("C") AS "L", 0.5 || \'\' AS "H", -0.5 || \'\' AS "M", 1500 || \'\' AS "K" '
                       'FROM "G" WHERE "ID" = 1', ["A", "U", "S", "L", "H", "M", "K"],
                       [["a", "ZIELIŃSKA", "ab", D(5), ".5", "-.5", "1500"]]),
    "TEXT_NULLS": ('SELECT COUNT("S") AS "C", COUNT(*) AS "R", COUNT(CASE WHEN "S" <> \'\' THEN 1 END) AS "E", '
                   'MIN(COALESCE("S", \'none\')) AS "F" FROM "G" WHERE "ID" >= 3', ["C", "R", "E", "F"],
                   [[D(1), D(3), D(0), "b"]]),
    "CHAR_COMPARE": ('SELECT "ID", DECODE("C", \'ab\', \'y\', \'n\') AS "DE" FROM "G" WHERE "C" IN (\'ab\', \'x\') '
                     'ORDER BY "ID"', ["ID", "DE"], [[D(1), "y"], [D(2), "y"], [D(4), "n"]]),
    "CHAR_BYTES": ('SELECT "B" || \'|\' AS "B", LENGTH("B") AS "L" FROM "Q" WHERE "ID" = 1', ["B", "L"],
                   [["é  |", D(3)]]),
    "TEXT_MATCHES": ('SELECT "ID" FROM "G" WHERE "S" LIKE \'a%\' OR ("C" = \'x\' AND 10 > \'9\') ORDER BY "ID"', ["ID"],
                     [[D(1)], [D(4)]]),
    "FORMS": ('SELECT NVL("S", \'x\') AS "NV", NVL2("S", \'y\', \'n\') AS "N2", DECODE("ID", 5, \'five\', \'other\') AS '
              '"DE", GREATEST(1, 3, 2) AS "G", LEAST(1, NULL) AS "L", CONCAT(\'a\', NULL) AS "C" FROM "G" '
              'WHERE "ID" ^= 1 AND "ID" = 5', ["NV", "N2", "DE", "G", "L", "C"],
              [["x", "n", "five", D(3), None, "a"]]),
    "TOP_ROWS": ('SELECT ROWNUM AS "R", "ID" FROM (SELECT "ID" FROM "G" ORDER BY "ID" DESC) WHERE ROWNUM <= 2',
                 ["R", "ID"], [[D(1), D(5)], [D(2), D(4)]]),
    "FETCH_FIRST": ('SELECT "ID" FROM "G" ORDER BY "ID" OFFSET 1 ROWS FETCH NEXT 2 ROWS ONLY', ["ID"],
                    [[D(2)], [D(3)]]),
    "MINUS": ('SELECT "ID" FROM "G" MINUS SELECT "ID" FROM "E"', ["ID"], [[D(5)]]),
    "TREE": ('SELECT LEVEL AS "LV", "NAME" FROM "E" START WITH "PARENT" IS NULL CONNECT BY PRIOR "ID" = "PARENT" '
             'ORDER BY "NAME"', ["LV", "NAME"], [[D(3), "leaf"], [D(2), "left"], [D(2), "right"], [D(1), "root"]]),
    "OUTER_JOIN": ('SELECT A."NAME" AS "CHILD", B."NAME" AS "PARENT" FROM "E" A, "E" B WHERE A."PARENT" = B."ID"(+) '
                   'ORDER BY A."ID"', ["CHILD", "PARENT"],
                   [["root", None], ["left", "root"], ["right", "root"], ["leaf", "left"]]),
    "NESTED_AGGREGATE": ('SELECT MAX(COUNT(*)) AS "M" FROM "E" GROUP BY "PARENT"', ["M"], [[D(2)]]),
    "NULL_ORDER": ('SELECT "S", "ID" FROM "G" ORDER BY "S", "ID"', ["S", "ID"],
                   [["Abc", D(2)], ["abc", D(1)], ["b", D(4)], [None, D(3)], [None, D(5)]]),
    "NULL_ORDER_DESC": ('SELECT "S", "ID" FROM "G" ORDER BY "S" DESC NULLS LAST, "ID" DESC', ["S", "ID"],
                        [["b", D(4)], ["abc", D(1)], ["Abc", D(2)], [None, D(5)], [None, D(3)]]),
    "NULL_FIRST": ('SELECT "ID" FROM "G" ORDER BY "S" DESC, "ID"', ["ID"], [[D(3)], [D(5)], [D(4)], [D(1)], [D(2)]]),
    "SAME_NAME": ('SELECT 1/3 AS "X", \'abc\' AS "X" FROM DUAL', ["X", "X"], [[THIRD, "abc"]]),
}

# What the server refuses, with its error.
REFUSED = {
    "R_SCALAR": ('SELECT (SELECT "ID" FROM "E") FROM DUAL', "ORA-01427"),
    "R_GROUP_BY": ('SELECT "ID", COUNT(*) FROM "G" GROUP BY "N"', "ORA-00979"),
    "R_ALIAS": ('SELECT "ID" AS "X" FROM "G" WHERE "X" = 1', "ORA-00904"),
    "R_TABLE_AS": ('SELECT "ID" FROM "G" AS "T"', "ORA-00933"),
    "R_LIMIT": ('SELECT "ID" FROM "G" LIMIT 2', "ORA-00933"),
    "R_PERCENT": ('SELECT 5 % 3 FROM DUAL', "ORA-00911"),
    "R_MAX2": ('SELECT MAX("ID", 2) FROM "G"', "ORA-00909"),
    "R_CASE": ('SELECT CASE WHEN "ID" = 1 THEN 1 ELSE \'a\' END FROM "G"', "ORA-00932"),
    "R_UNION": ('SELECT "ID" FROM "G" UNION SELECT "S" FROM "G"', "ORA-01790"),
    "R_CAST": ("SELECT CAST('abc' AS NUMBER) FROM DUAL", "ORA-01722"),
    "R_POWER": ('SELECT POWER(-8, .5) FROM DUAL', "ORA-01428"),
    "R_SQRT": ('SELECT SQRT(-1) FROM DUAL', "ORA-01428"),
    "R_ZONES": ('SELECT COUNT(DISTINCT "Z") FROM "Q"', "ORA-03001"),
    "R_FUNCTION": ('SELECT NO_SUCH_FUNCTION("ID") FROM "G"', 'ORA-00904: "NO_SUCH_FUNCTION": invalid identifier'),
}


def expected_cell(value, version):
    """A value as the workbook of that format holds it."""
    if value is None:
        return None if version == 2 else ""
    if isinstance(value, D):
        if version != 2:
            return float(value)
        text = format(value.normalize(), "f")
        return text if "." not in text else text.rstrip("0").rstrip(".")
    if isinstance(value, tuple):
        text = value[1] if len(value[1]) > 10 else value[1] + " 00:00:00"
        if version == 1:
            return text
        return text[:10] if text.endswith(" 00:00:00") else text
    return value


class QueriesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="qm_queries_")
        build(os.path.join(cls.folder, "q.db"))

    @classmethod
    def tearDownClass(cls):
        e2e_support.remove_tree(cls.folder)

    def convert(self, queries, version):
        """QUILLCMD on the queries of a settings file: the exit code, the
        output and the workbook's sheets."""
        work = tempfile.mkdtemp(prefix="run_", dir=self.folder)
        dest = os.path.join(work, "out.xlsx" if version == 2 else "out.xls")
        with open(os.path.join(work, "p.qlt"), "w") as f:
            f.write("[Generic settings]\ndest=%s\nsrc=q\n\n[MS Excel settings]\nformat version=%d\n\n"
                    "[Oracle settings]\nuser=SCOTT\npassword=tiger\n\n[Selected Tables]\n%s\n"
                    % (dest, version, "".join("%s=%s\n" % (name, q) for name, q in queries)))
        code, out, err = e2e_support.run(["--profile=p.qlt"], work, self.folder)
        self.assertEqual(err, "")
        if not os.path.exists(dest):
            return code, out, {}
        return code, out, e2e_support.cell_texts(dest) if version == 2 else e2e_support.xls_cells(dest)

    def test_each_family_holds_what_the_server_returns(self):
        queries = [(name, q) for name, (q, _, _) in FAMILIES.items()]
        for version in (0, 1, 2):
            with self.subTest(version=version):
                code, out, sheets = self.convert(queries, version)
                self.assertEqual(code, 0, out)
                for name, (query, header, rows) in FAMILIES.items():
                    if version != 2 and header == ["X", "X"]:
                        header = ["X", "X00000"]
                    expected = [header] + [[expected_cell(v, version) for v in row] for row in rows]
                    self.assertEqual(sheets.get(name), expected, "%s: %s" % (name, query))
                    self.assertIn("Converting table %s (%d records)" % (name, len(rows)), out)

    def test_a_date_expression_takes_the_date_range_rule_of_a_date(self):
        query = "SELECT TO_DATE('1850-06-01', 'YYYY-MM-DD') AS \"D\" FROM DUAL"
        code, out, sheets = self.convert([("OLD", query)], 1)
        self.assertEqual(code, 255, out)
        self.assertIn("OLD, record #1: Date fields of the source database do not fall in the range", out)
        for version in (0, 2):
            with self.subTest(version=version):
                code, out, sheets = self.convert([("OLD", query)], version)
                self.assertEqual((code, sheets["OLD"]), (0, [["D"], ["1850-06-01"]]), out)

    def test_what_the_server_refuses_is_refused_with_its_error(self):
        code, out, sheets = self.convert([(name, q) for name, (q, _) in REFUSED.items()] + [("KEPT", "SELECT 1 FROM DUAL")],
                                         2)
        self.assertEqual(code, 255, out)
        for name, (query, error) in REFUSED.items():
            self.assertIn("%s: %s" % (name, error), out, query)
            self.assertLessEqual(len(sheets.get(name, [])), 1, "no record of %s" % name)
        self.assertEqual(sheets["KEPT"], [["1"], ["1"]])


if __name__ == "__main__":
    e2e_support.main()
