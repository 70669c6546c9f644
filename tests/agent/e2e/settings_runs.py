"""QUILLCMD with its settings from a settings file, a table list and the
options together, against the bundled demo database.

usage: settings_runs.py QUILLCMD [unittest arguments]
"""
import os
import shutil
import sqlite3
import zipfile

import xlrd

import e2e_support

UNREADABLE_LIST = "Table names file does not exist.\nPlease verify the correct path/name was given.\n"
UNREADABLE_SETTINGS = "Error:\nProfile does not exist. Please verify the correct path/name was given.\n"


def settings(dest, version, tables=(), queries=(), extra_generic="", wrap=None):
    """A settings file's text: the demo source, a destination, a format,
    selected tables and selected queries (name, stored text)."""
    text = "[Generic settings]\ndest=%s\n%ssrc=demo\n\n" % (dest, extra_generic)
    text += "[MS Excel settings]\nformat version=%d\n" % version
    if wrap is not None:
        text += "wrap text=%d\n" % wrap
    text += "\n[Oracle settings]\nuser=scott\n\n[Selected Tables]\n"
    for name in tables:
        text += name + "\n"
    for name, query in queries:
        text += "%s=%s\n" % (name, query)
    return text + "\n"


class SettingsRuns(e2e_support.WorkFolderTest):
    prefix = "qm_settings_"

    def write(self, name, data):
        mode = "wb" if isinstance(data, bytes) else "w"
        with open(self.path(name), mode) as f:
            f.write(data)
        return self.path(name)

    def run_quillcmd(self, *args, path=None):
        return e2e_support.run(args, self.work, path=path)

    def sheets(self, name):
        return e2e_support.cell_texts(self.path(name))

    def test_the_extension_follows_the_format_wherever_the_destination_came_from(self):
        cases = [
            # settings file's destination and format, options, the file written
            ("a.xls", 1, ["--xls_ver=2"], "a.xlsx"),
            ("b.xls", 2, [], "b.xlsx"),
            ("c.xlsx", 0, [], "c.xls"),
            ("d", 2, [], "d.xlsx"),
            ("e.xlsx", 2, ["--dest=e.xls"], "e.xlsx"),
        ]
        for dest, version, options, written in cases:
            with self.subTest(dest=dest, version=version, options=options):
                self.write("p.qlt", settings(dest, version, tables=["DEPT"]))
                code, out, err = self.run_quillcmd("--profile=p.qlt", *options)
                self.assertEqual((code, err), (0, ""), out)
                self.assertEqual(sorted(n for n in os.listdir(self.work) if n != "p.qlt"), [written])
                if written.endswith(".xlsx"):
                    self.assertTrue(zipfile.is_zipfile(self.path(written)))
                else:
                    self.assertEqual(xlrd.open_workbook(self.path(written)).sheet_names(), ["DEPT"])
                os.remove(self.path(written))

    def test_an_empty_or_folder_like_destination_is_refused(self):
        os.mkdir(self.path("somefolder"))
        program_folder = os.path.dirname(e2e_support.QUILLCMD)
        before = set(os.listdir(program_folder))
        self.write("p.qlt", settings("p.xlsx", 2, tables=["DEPT"]))
        login = ["--src=demo", "--user=scott", "--xls_ver=2"]
        folder = "Destination name should specify a file, not folder."
        cases = [
            (login + ["--dest="], "You should enter MS Excel spredsheet name"),
            (["--profile=p.qlt", "--dest="], "You should enter MS Excel spredsheet name"),
            (login + ["--dest=somefolder/"], folder),
            (login + ["--dest=nofolder/"], folder),
            (login + ["--dest=somefolder/."], folder),
            (login + ["--dest=."], folder),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                code, out, err = self.run_quillcmd(*args)
                self.assertEqual(code, 255)
                self.assertIn(message, out + err)
                self.assertNotIn("Converting", out)
        self.assertEqual(os.listdir(self.path("somefolder")), [])
        self.assertEqual(sorted(os.listdir(self.work)), ["p.qlt", "somefolder"])
        self.assertEqual(set(os.listdir(program_folder)), before)

    def test_wrap_text_from_a_settings_file_wraps_as_the_option_does(self):
        for name, wrap, options, wrapped in (("file", 1, [], 1), ("option", 0, ["--wrap"], 1),
                                             ("neither", 0, [], 0)):
            with self.subTest(name):
                self.write("p.qlt", settings(name + ".xls", 1, tables=["DEPT"], wrap=wrap))
                code, out, err = self.run_quillcmd("--profile=p.qlt", *options)
                self.assertEqual((code, err), (0, ""), out)
                book = xlrd.open_workbook(self.path(name + ".xls"), formatting_info=True)
                # The plain cell format and the header's.
                self.assertEqual(book.xf_list[15].alignment.text_wrapped, wrapped)
                self.assertEqual(book.xf_list[16].alignment.text_wrapped, wrapped)

    def test_a_table_list_after_a_settings_file_replaces_its_tables_and_keeps_its_queries(self):
        self.write("p.qlt", settings("t.xlsx", 2, tables=["DEPT", "RAW_DATA"],
                                     queries=[("Q", "SELECT DNAME FROM DEPT WHERE DEPTNO = 10")]))
        self.write("list.txt", "EMP\n")
        code, out, err = self.run_quillcmd("--profile=p.qlt", "--tab_file=list.txt")
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(list(self.sheets("t.xlsx")), ["EMP", "Q"])
        self.assertIn("Converting database demo(1 tables)", out)

    def test_queries_keep_their_line_breaks(self):
        # Written as the wizard writes a query typed over several lines.
        comment_inside = "SELECT DNAME FROM DEPT -- only one\\nWHERE DEPTNO = 10"
        comment_last = "SELECT DNAME FROM DEPT\\nWHERE DEPTNO = 20\\n-- the last line"
        self.write("p.qlt", settings("q.xlsx", 2, extra_generic="escaped text=1\n",
                                     queries=[("Q1", comment_inside), ("Q2", comment_last)]))
        code, out, err = self.run_quillcmd("--profile=p.qlt")
        self.assertEqual((code, err), (0, ""), out)
        sheets = self.sheets("q.xlsx")
        self.assertEqual(sheets["Q1"], [["DNAME"], ["FINANCE"]])
        self.assertEqual(sheets["Q2"], [["DNAME"], ["LABORATORY"]])

    def test_backslashes_of_settings_files_load_as_before(self):
        # A file without the escape marker is read as it stands.
        self.write("old.qlt", settings("back\\new.xlsx", 2, tables=["DEPT"]))
        code, out, err = self.run_quillcmd("--profile=old.qlt")
        self.assertEqual((code, err), (0, ""), out)
        self.assertTrue(zipfile.is_zipfile(self.path("back\\new.xlsx")))
        # With it, a backslash is written doubled.
        self.write("new.qlt", settings("back\\\\slash.xlsx", 2, tables=["DEPT"],
                                       extra_generic="escaped text=1\n"))
        code, out, err = self.run_quillcmd("--profile=new.qlt")
        self.assertEqual((code, err), (0, ""), out)
        self.assertTrue(zipfile.is_zipfile(self.path("back\\slash.xlsx")))

    def test_unreadable_table_lists_and_settings_files_end_the_run(self):
        login = ["--src=demo", "--user=scott", "--xls_ver=2", "--dest=x.xlsx"]
        self.write("nul.txt", b"DEPT\x00EMP\n")
        self.write("nul.qlt", settings("x.xlsx", 2, tables=["DEPT\x00EMP"]))
        # Opened, then no byte can be read from it.
        unreadable = "/proc/self/mem"
        cases = [
            (login + ["--tab_file=" + unreadable], "", UNREADABLE_LIST),
            (login + ["--tab_file=nul.txt"], "", UNREADABLE_LIST),
            (["--profile=" + unreadable], UNREADABLE_SETTINGS, ""),
            (["--profile=nul.qlt"],
             'Error:\nCannot load the settings file "nul.qlt": its line 12 holds a zero byte.\n', ""),
        ]
        for args, out, err in cases:
            with self.subTest(args=args):
                self.assertEqual(self.run_quillcmd(*args), (255, out, err))
                self.assertFalse(os.path.exists(self.path("x.xlsx")))

    def test_lines_that_look_like_section_headers_end_no_selection(self):
        # A query named "[q" whose text ends in "]" is an entry of its
        # section; a header of no section of the format is refused.
        self.write("q.qlt", settings("q.xlsx", 2, tables=["EMP"],
                                     queries=[("[q", "SELECT DNAME FROM DEPT WHERE DEPTNO = 10 --]"),
                                              ("r", "SELECT DNAME FROM DEPT WHERE DEPTNO = 20")]))
        code, out, err = self.run_quillcmd("--profile=q.qlt")
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(list(self.sheets("q.xlsx")), ["EMP", "_q", "r"])
        self.write("notes.qlt", settings("n.xlsx", 2, tables=["EMP", "[Notes]", "DEPT"]))
        self.assertEqual(self.run_quillcmd("--profile=notes.qlt"),
                         (255, 'Error:\nCannot load the settings file "notes.qlt": its line 13 "[Notes]" names no '
                               'section of a settings file.\n', ""))
        self.assertFalse(os.path.exists(self.path("n.xlsx")))

    def test_a_byte_order_mark_is_skipped(self):
        self.write("bom.qlt", b"\xef\xbb\xbf" + settings("bom.xlsx", 2, tables=["DEPT"]).encode())
        others = ["--src=demo", "--dest=bom.xlsx", "--xls_ver=2"]
        for options in ([], others):
            with self.subTest(options=options):
                code, out, err = self.run_quillcmd(*options, "--profile=bom.qlt")
                self.assertEqual((code, err), (0, ""), out)
                self.assertEqual(list(self.sheets("bom.xlsx")), ["DEPT"], "the file's selection")

    def test_a_settings_file_that_does_not_load_ends_the_run(self):
        for name, text in (("value.qlt", "x=1\n" + settings("lead.xlsx", 2, tables=["DEPT"])),
                           ("table.qlt", "DEPT\n" + settings("lead.xlsx", 2, tables=["DEPT"]))):
            for options in ([], ["--src=demo", "--dest=lead.xlsx", "--xls_ver=2"]):
                with self.subTest(name=name, options=options):
                    self.write(name, text)
                    code, out, err = self.run_quillcmd(*options, "--profile=" + name)
                    self.assertEqual((code, err), (255, ""), out)
                    self.assertEqual(out, 'Error:\nCannot load the settings file "%s": it has a line before its '
                                          'first section header.\n' % name)
                    self.assertFalse(os.path.exists(self.path("lead.xlsx")))

    def test_a_settings_file_changes_only_what_it_holds(self):
        text = settings("unused", 2, tables=["DEPT"]).replace("dest=unused\n", "").replace("src=demo\n", "")
        self.write("p.qlt", text)
        code, out, err = self.run_quillcmd("--src=demo", "--dest=kept.xlsx", "--profile=p.qlt")
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(list(self.sheets("kept.xlsx")), ["DEPT"])
        # Present but empty, they are kept as well.
        self.write("p.qlt", text.replace("[Generic settings]\n", "[Generic settings]\ndest=\nsrc=\n"))
        code, out, err = self.run_quillcmd("--src=demo", "--dest=empty.xlsx", "--profile=p.qlt")
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(list(self.sheets("empty.xlsx")), ["DEPT"])

    def test_queries_that_are_no_select_leave_the_source_as_it_was(self):
        source = self.path("source")
        os.mkdir(source)
        shutil.copy(os.path.join(os.path.dirname(e2e_support.QUILLCMD), "..", "share", "ocilite", "demo.db"),
                    os.path.join(source, "demo.db"))

        def contents():
            db = sqlite3.connect(os.path.join(source, "demo.db"))
            tables = db.execute("SELECT name FROM sqlite_schema WHERE type = 'table' ORDER BY name").fetchall()
            rows = {t: db.execute('SELECT COUNT(*) FROM "%s"' % t).fetchone()[0] for (t,) in tables}
            db.close()
            return rows

        before = contents()
        self.assertIn("RAW_DATA", before)
        refused = [("Q1", "DROP TABLE RAW_DATA"), ("Q2", "CREATE TABLE PWNED (A NUMBER)"),
                   ("Q3", "DELETE FROM EMP"), ("Q4", "UPDATE DEPT SET DNAME = 'X'"),
                   ("Q5", "INSERT INTO DEPT (DEPTNO) VALUES (99)"), ("Q6", "BEGIN NULL; END;")]
        # Reported as a SELECT by the first word; refused by the source as it parses them.
        led_by_with = [("Q8", 'WITH X AS (SELECT 1 FROM "DEPT") DELETE FROM "EMP"'),
                       ("Q9", "WITH X AS (SELECT ')' FROM DEPT) INSERT INTO DEPT (DEPTNO) VALUES (98)"),
                       ("Q10", "WITH X (N) AS (SELECT (1) FROM DUAL), Y AS (SELECT N FROM X) UPDATE EMP SET SAL = 0")]
        with_query = ("Q7", "WITH D AS (SELECT DNAME FROM DEPT WHERE DEPTNO = 10) SELECT * FROM D")
        for version, dest in ((0, "q0.xls"), (1, "q1.xls"), (2, "q.xlsx")):
            with self.subTest(version=version):
                self.write("p.qlt", settings(dest, version, tables=["DEPT"],
                                             queries=refused + [with_query] + led_by_with))
                code, out, err = e2e_support.run(["--profile=p.qlt"], self.work, source=source)
                self.assertEqual((code, err), (255, ""), out)
                for name, _ in refused:
                    self.assertIn("Error:\n%s: The query is not a SELECT statement; it was not run.\n" % name, out)
                for name, _ in led_by_with:
                    self.assertIn("Error:\n%s: ORA-00928: missing SELECT keyword" % name, out)
                self.assertEqual(contents(), before)
                if version == 2:
                    sheets = self.sheets(dest)
                    self.assertEqual(sheets["Q7"], [["DNAME"], ["FINANCE"]])
                else:
                    sheets = e2e_support.xls_cells(self.path(dest))
                    self.assertEqual(sheets["Q7"], [["DNAME"], ["FINANCE"]])
                self.assertEqual(list(sheets), ["DEPT", "Q7"])

    def test_a_failed_items_name_is_not_put_before_later_messages(self):
        self.write("p.qlt", settings("f.xlsx", 2, tables=["DEPT"], queries=[("Q1", "SELECT NOPE FROM DEPT")]))
        # No zip on the PATH: packing the workbook fails after the items.
        code, out, err = self.run_quillcmd("--profile=p.qlt", path=self.work)
        self.assertEqual(code, 255)
        self.assertIn("Error:\nQ1: ORA-", out)
        self.assertIn("\nError:\nCannot write the destination file", out)


if __name__ == "__main__":
    e2e_support.main()
