"""QUILLCMD on settings files, table lists, folder names and sources a user
gets wrong or odd: the program must answer with its message and exit code,
never crash or wait, and write to no file but the user's workbook.

usage: run_odd_inputs.py QUILLCMD [unittest arguments]
"""
import os
import shutil
import sqlite3
import zipfile

import xlrd

import e2e_support

FORMAT_MESSAGE = "MS Excel format version must be 0, 1 or 2"
NO_PROFILE = "Error:\nProfile does not exist. Please verify the correct path/name was given.\n"
NO_TABLE_LIST = "Table names file does not exist.\nPlease verify the correct path/name was given."


class OddInputsTest(e2e_support.WorkFolderTest):
    prefix = "qm_odd_"

    def run_quillcmd(self, *args):
        return e2e_support.run(args, self.work, timeout=60)

    def settings(self, name, excel_section):
        with open(self.path(name), "w", encoding="utf-8") as f:
            f.write("[Generic settings]\nsrc=demo\ndest=out.xls\n\n" + excel_section +
                    "[Oracle settings]\nuser=scott\n\n[Selected Tables]\nDEPT\n\n")
        return "--profile=" + name

    def test_settings_file_without_a_format(self):
        for name, section in (("none.qlt", ""), ("empty.qlt", "[MS Excel settings]\nformat version=\n\n")):
            with self.subTest(name=name):
                code, out, err = self.run_quillcmd(self.settings(name, section))
                self.assertEqual((code, out), (255, ""), err)
                self.assertEqual(err.splitlines()[0], FORMAT_MESSAGE)
                self.assertEqual([n for n in os.listdir(self.work) if not n.endswith(".qlt")], [],
                                 "nothing is written or left behind")

    def test_format_given_to_the_right_of_such_a_file(self):
        code, out, err = self.run_quillcmd(self.settings("none.qlt", ""), "--xls_ver=2")
        self.assertEqual((code, err), (0, ""), out)
        written = [n for n in os.listdir(self.work) if n.startswith("out.")]
        self.assertEqual(len(written), 1, written)
        self.assertTrue(zipfile.is_zipfile(self.path(written[0])))

    def test_what_is_not_a_regular_file(self):
        os.mkfifo(self.path("pipe"))
        os.mkdir(self.path("folder"))
        for name in ("pipe", "folder", "/dev/null"):
            with self.subTest(name=name):
                code, out, err = self.run_quillcmd("--profile=" + name)
                self.assertEqual((code, out), (255, NO_PROFILE), err)
                code, out, err = self.run_quillcmd("--src=demo", "--xls_ver=2", "--dest=out.xlsx",
                                                   "--tab_file=" + name)
                self.assertEqual(code, 255, out)
                self.assertTrue(err.startswith(NO_TABLE_LIST), err)
        self.assertFalse(os.path.exists(self.path("out.xlsx")))

    def test_a_folder_name_that_is_no_text_is_the_folder_written_to(self):
        # The same name in Latin-1 and in UTF-8: two folders.
        latin1, utf8 = self.path(os.fsdecode(b"caf\xe9")), self.path("caf\u00e9")
        os.mkdir(latin1)
        os.mkdir(utf8)
        for name in ("out.xlsx", "out.xls"):
            with open(os.path.join(utf8, name), "w") as f:
                f.write("not yours")
        with open(os.path.join(latin1, os.fsdecode(b"p\xe9.qlt")), "w") as f:
            f.write("[Generic settings]\nsrc=demo\ndest=set.xlsx\n\n[MS Excel settings]\nformat version=2\n\n"
                    "[Oracle settings]\nuser=scott\n\n[Selected Tables]\nDEPT\n\n")
        login = ["--src=demo", "--user=scott"]
        runs = [(login + ["--xls_ver=2", "--dest=out.xlsx"], "out.xlsx"),
                (login + ["--xls_ver=1", "--dest=out.xls"], "out.xls"),
                (["--profile=" + os.fsdecode(b"p\xe9.qlt")], "set.xlsx")]
        for args, written in runs:
            with self.subTest(args=args):
                code, out, err = e2e_support.run(args, latin1, timeout=60)
                self.assertEqual((code, err), (0, ""), out)
                path = os.path.join(latin1, written)
                if written.endswith(".xlsx"):
                    self.assertTrue(zipfile.is_zipfile(path))
                else:
                    self.assertIn("DEPT", xlrd.open_workbook(path).sheet_names())
        for name in ("out.xlsx", "out.xls"):
            with open(os.path.join(utf8, name)) as f:
                self.assertEqual(f.read(), "not yours")
        self.assertEqual(sorted(os.listdir(utf8)), ["out.xls", "out.xlsx"])

    def test_a_temporary_folder_whose_name_is_no_text_is_used_and_left_empty(self):
        temp = self.path(os.fsdecode(b"t\xe9mp"))
        os.mkdir(temp)
        code, out, err = e2e_support.run(["--src=demo", "--user=scott", "--xls_ver=2", "--dest=out.xlsx"],
                                         self.work, timeout=60, temp=temp)
        self.assertEqual((code, err), (0, ""), out)
        self.assertTrue(zipfile.is_zipfile(self.path("out.xlsx")))
        self.assertEqual(os.listdir(temp), [])
        self.assertEqual(sorted(os.listdir(self.work)), sorted(["out.xlsx", os.path.basename(temp)]))

    def test_an_option_value_that_is_no_text_is_refused(self):
        # A name, a host or a password is text: a value that is not UTF-8 is
        # refused before anything is connected or deleted, never dropped.
        with open(self.path("out.xlsx"), "w") as f:
            f.write("last week's")
        given = {"--src=": "demo", "--host=": "localhost", "--port=": "1521", "--user=": "scott",
                 "--pswd=": "tiger"}
        for option in given:
            for before in ([], [self.settings("s.qlt", "[MS Excel settings]\nformat version=2\n\n")]):
                with self.subTest(option=option, profile=bool(before)):
                    args = before + ["--xls_ver=2", "--dest=out.xlsx"]
                    args += [o + (os.fsdecode(b"x\xe9") if o == option else v) for o, v in given.items()]
                    code, out, err = self.run_quillcmd(*args)
                    self.assertEqual((code, out), (255, ""), err)
                    self.assertEqual(err, "The value of %s is not UTF-8 text\n" % option[:-1])
                    with open(self.path("out.xlsx")) as f:
                        self.assertEqual(f.read(), "last week's")

    def test_a_view_whose_table_is_gone_leaves_the_tables_readable(self):
        source = self.path("source")
        os.mkdir(source)
        demo = os.path.join(os.path.dirname(e2e_support.QUILLCMD), "..", "share", "ocilite", "demo.db")
        shutil.copy(demo, os.path.join(source, "broken.db"))
        db = sqlite3.connect(os.path.join(source, "broken.db"))
        db.execute('CREATE TABLE "GONE" ("A" NUMBER(4))')
        db.execute('CREATE VIEW "BROKEN" AS SELECT "A" FROM "GONE"')
        db.execute('DROP TABLE "GONE"')
        db.commit()
        db.close()
        code, out, err = e2e_support.run(["--src=broken", "--user=scott", "--xls_ver=2", "--dest=out.xlsx"],
                                         self.work, source=source, timeout=60)
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(sorted(e2e_support.cell_texts(self.path("out.xlsx"))),
                         ["ALL_TYPES", "DEPT", "EMP", "RAW_DATA"])
        # Only a query of that view fails.
        with open(self.path("v.qlt"), "w") as f:
            f.write("[Generic settings]\nsrc=broken\ndest=v.xlsx\n\n[MS Excel settings]\nformat version=2\n\n"
                    "[Oracle settings]\nuser=scott\n\n[Selected Tables]\nDEPT\nQ1=SELECT * FROM BROKEN\n\n")
        code, out, err = e2e_support.run(["--profile=v.qlt"], self.work, source=source, timeout=60)
        self.assertEqual(code, 255, out)
        self.assertIn("Error:\nQ1: ORA-00942", out)
        self.assertEqual(list(e2e_support.cell_texts(self.path("v.xlsx"))), ["DEPT"])


if __name__ == "__main__":
    e2e_support.main()
