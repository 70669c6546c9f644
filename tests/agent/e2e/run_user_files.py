"""QUILLCMD beside the user's own files: the log file a settings file names
(never a pipe or a device, never the workbook, never holding the password,
readable by its owner only) and what stands beside the destination under
the names the .xls writer might take (never followed, never consumed).

usage: run_user_files.py QUILLCMD [unittest arguments]
"""
import os
import stat

import e2e_support

NOT_A_LOG_FILE = "Error:\nLogfile name specifies an existing path.\n"
LOG_IS_DESTINATION = "Error:\nLogfile name specifies the destination file.\n"


def settings(dest, version, logfile):
    return ("[Generic settings]\nsrc=demo\ndest=%s\nlogfile=%s\n\n[MS Excel settings]\nformat version=%d\n\n"
            "[Oracle settings]\nuser=scott\n\n[Selected Tables]\nDEPT\n\n" % (dest, logfile, version))


class UserFilesTest(e2e_support.WorkFolderTest):
    prefix = "qm_user_files_"

    def run_with_settings(self, dest, version, logfile, *options, first=()):
        with open(self.path("p.qlt"), "w") as f:
            f.write(settings(dest, version, logfile))
        # A program that waits for ever fails here instead of hanging the suite.
        return e2e_support.run([*first, "--profile=p.qlt", *options], self.work, timeout=30)

    def test_a_log_file_that_is_no_regular_file_is_refused_without_waiting(self):
        os.mkfifo(self.path("pipe"))
        os.symlink("pipe", self.path("link_to_pipe"))
        for name in ("pipe", "link_to_pipe", "/dev/null"):
            with self.subTest(logfile=name):
                code, out, err = self.run_with_settings("out.xlsx", 2, name)
                self.assertEqual((code, out, err), (255, NOT_A_LOG_FILE, ""))
                self.assertEqual(sorted(os.listdir(self.work)), ["link_to_pipe", "p.qlt", "pipe"])

    def test_the_password_stays_out_of_the_log_which_only_its_owner_reads(self):
        with open(self.path("old.log"), "w") as f:
            f.write("an earlier run's log\n")
        os.chmod(self.path("old.log"), 0o644)
        for name in ("new.log", "old.log"):
            with self.subTest(logfile=name):
                code, out, err = self.run_with_settings("out.xls", 1, name, "--pswd=Tiger!42")
                self.assertEqual((code, err), (0, ""), out)
                with open(self.path(name), encoding="utf-8", errors="replace") as f:
                    log = f.read()
                # Not assertIn: a failure would print the whole log.
                self.assertTrue("parameter #2: --pswd=***\n" in log, "the option is not logged masked")
                self.assertFalse("Tiger!42" in log, "the password is in the log")
                self.assertFalse("an earlier run" in log, "the old log was not emptied")
                self.assertEqual(stat.S_IMODE(os.stat(self.path(name)).st_mode), 0o600)

    def test_a_log_file_that_is_the_destination_is_refused_before_the_run(self):
        os.mkdir(self.path("sub"))
        os.symlink("out.xls", self.path("link.log"))
        old = b"\xd0\xcf\x11\xe0 the user's old workbook"
        cases = [
            # destination, format, log file, options before the settings file and after it; and whether the
            # destination is known when the log is named, so that an old workbook there keeps its bytes
            ("out.xls", 1, "out.xls", (), (), True),
            ("", 1, "out.xls", ("--dest=out.xls",), (), True),
            ("out", 2, "out.xlsx", (), (), True),  # the extension follows the format
            ("out.xls", 0, "sub/../out.xls", (), (), True),
            ("out.xls", 1, self.path("out.xls"), (), (), True),
            ("out.xls", 1, "link.log", (), (), True),  # the same file under another name
            ("out.xls", 1, "link.log", (), (), False),  # ... not there yet: the log makes it
            # Named by an option after the settings file: the log waits for every option.
            ("other.xls", 1, "out.xls", (), ("--dest=out.xls",), True),
            ("out.xlsx", 2, "out.xls", (), ("--xls_ver=0",), True),
        ]
        for dest, version, logfile, first, after, known in cases:
            with self.subTest(dest=dest, logfile=logfile, options=first + after, known=known):
                target = self.path("out.xlsx" if dest == "out" else "out.xls")
                if known:
                    with open(target, "wb") as f:
                        f.write(old)
                code, out, err = self.run_with_settings(dest, version, logfile, *after, first=first)
                self.assertEqual((code, out, err), (255, LOG_IS_DESTINATION, ""))
                with open(target, "rb") as f:
                    content = f.read()
                if known:
                    self.assertEqual(content, old)
                else:
                    self.assertFalse(content.startswith(b"\xd0\xcf\x11\xe0") or content.startswith(b"PK"),
                                     "a workbook was written")
                os.remove(target)
                self.assertEqual(sorted(os.listdir(self.work)), ["link.log", "p.qlt", "sub"])

    def test_what_stands_beside_an_xls_destination_is_neither_followed_nor_consumed(self):
        for version in (0, 1):
            with self.subTest(version=version):
                with open(self.path("mine.txt"), "w") as f:
                    f.write("the user's own file\n")
                os.symlink("mine.txt", self.path("link.xls.jet~"))
                with open(self.path("file.xls.jet~"), "w") as f:
                    f.write("a file of the user's that happens to have this name\n")
                for dest in ("link.xls", "file.xls"):
                    code, out, err = e2e_support.run(["--src=demo", "--user=scott", "--xls_ver=%d" % version,
                                                      "--dest=" + dest], self.work, timeout=60)
                    self.assertEqual((code, err), (0, ""), out)
                    self.assertEqual(sorted(e2e_support.xls_cells(self.path(dest))),
                                     ["ALL_TYPES", "DEPT", "EMP", "RAW_DATA"])
                with open(self.path("mine.txt"), "rb") as f:
                    self.assertEqual(f.read(), b"the user's own file\n")
                self.assertEqual(os.readlink(self.path("link.xls.jet~")), "mine.txt")
                with open(self.path("file.xls.jet~"), "rb") as f:
                    self.assertEqual(f.read(), b"a file of the user's that happens to have this name\n")
                self.assertEqual(sorted(os.listdir(self.work)),
                                 ["file.xls", "file.xls.jet~", "link.xls", "link.xls.jet~", "mine.txt"])
                for name in os.listdir(self.work):
                    os.remove(self.path(name))


if __name__ == "__main__":
    e2e_support.main()
