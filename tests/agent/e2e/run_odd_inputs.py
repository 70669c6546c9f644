"""QUILLCMD on settings files and table lists a user gets wrong: the
program must answer with its message and exit code, never crash or wait.

usage: run_odd_inputs.py QUILLCMD [unittest arguments]
"""
import os
import shutil
import tempfile
import unittest
import zipfile

import e2e_support

FORMAT_MESSAGE = "MS Excel format version must be 0, 1 or 2"
NO_PROFILE = "Error:\nProfile does not exist. Please verify the correct path/name was given.\n"
NO_TABLE_LIST = "Table names file does not exist.\nPlease verify the correct path/name was given."


class OddInputsTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="qm_odd_")

    def tearDown(self):
        shutil.rmtree(self.work)

    def run_quillcmd(self, *args):
        return e2e_support.run(args, self.work, timeout=60)

    def path(self, name):
        return os.path.join(self.work, name)

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


if __name__ == "__main__":
    e2e_support.main()
