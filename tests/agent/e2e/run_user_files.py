"""QUILLCMD beside the user's own files: the log file a settings file names
(never a pipe or a device, never the workbook, never a file the run reads
or a symbolic link, never holding the password, readable by its owner
only, and said so when it cannot be made) and what stands beside the
destination under the names the .xls writer might take (never followed,
never consumed).

usage: run_user_files.py QUILLCMD [unittest arguments]
"""
import os
import re
import shutil
import sqlite3
import stat

import e2e_support

NOT_A_LOG_FILE = "Error:\nLogfile name specifies an existing path.\n"
LOG_IS_DESTINATION = "Error:\nLogfile name specifies the destination file.\n"


def settings(dest, version, logfile, src="demo"):
    return ("[Generic settings]\nsrc=%s\ndest=%s\nlogfile=%s\n\n[MS Excel settings]\nformat version=%d\n\n"
            "[Oracle settings]\nuser=scott\npassword=Tiger!42\n\n[Selected Tables]\nDEPT\n\n"
            % (src, dest, logfile, version))


def snapshot(folder):
    """Every file and link under the folder: its bytes (a link's target) and mode."""
    found = {}
    for root, dirs, names in os.walk(folder):
        for name in dirs + names:
            path = os.path.join(root, name)
            st = os.lstat(path)
            if stat.S_ISLNK(st.st_mode):
                found[path] = ("link", os.readlink(path))
            elif stat.S_ISREG(st.st_mode):
                with open(path, "rb") as f:
                    found[path] = (f.read(), stat.S_IMODE(st.st_mode))
            else:
                found[path] = ("folder", stat.S_IMODE(st.st_mode))
    return found


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

    def test_the_log_says_each_item_once_however_many_follow(self):
        # Lines about one item: as many beside 10 items as beside 40.
        for version, dest in ((0, "few.xls"), (1, "few.xls"), (2, "few.xlsx")):
            lines = []
            for count in (10, 40):
                with self.subTest(version=version, items=count):
                    text = settings(dest, version, "items.log").replace("DEPT\n", "".join(
                        "q%d=SELECT DNAME FROM DEPT\n" % i for i in range(count)))
                    with open(self.path("p.qlt"), "w") as f:
                        f.write(text)
                    code, out, err = e2e_support.run(["--profile=p.qlt"], self.work, timeout=60)
                    self.assertEqual((code, err), (0, ""), out)
                    with open(self.path("items.log"), encoding="utf-8") as f:
                        lines.append(len(re.findall(r"\bq1\b", f.read())))
            self.assertEqual(lines[0], lines[1], "format %d" % version)

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
            ("out.xls", 1, "link.log", (), (), False),  # ... not there yet
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
                if known:
                    with open(target, "rb") as f:
                        self.assertEqual(f.read(), old)
                    os.remove(target)
                else:
                    self.assertFalse(os.path.lexists(target), "the log or a workbook made the file")
                self.assertEqual(sorted(os.listdir(self.work)), ["link.log", "p.qlt", "sub"])

    def test_no_order_of_settings_files_and_options_makes_the_log_the_destination(self):
        # A settings file without a logfile= line leaves the log on under the name an earlier one gave.
        run_only = "[Generic settings]\nsrc=demo\ndest=book.xlsx\n\n[MS Excel settings]\nformat version=2\n"
        cases = [
            # settings files, options, the destination they come to
            ({"log.qlt": "[Generic settings]\nlogfile=book.xlsx\n", "run.qlt": run_only},
             ["--profile=log.qlt", "--profile=run.qlt"], "book.xlsx"),
            ({"a.qlt": settings("", 2, "book.xlsx"), "b.qlt": "[Generic settings]\nsrc=demo\n"},
             ["--profile=a.qlt", "--dest=book.xlsx", "--profile=b.qlt"], "book.xlsx"),
            ({"log.qlt": "[Generic settings]\nlogfile=book.xls\n", "run.qlt": run_only},
             ["--profile=log.qlt", "--profile=run.qlt", "--xls_ver=1"], "book.xls"),
        ]
        for files, options, dest in cases:
            with self.subTest(options=options):
                for name, text in files.items():
                    with open(self.path(name), "w") as f:
                        f.write(text)
                with open(self.path(dest), "wb") as f:
                    f.write(b"PK the user's old workbook")
                before = snapshot(self.work)
                code, out, err = e2e_support.run(options, self.work, timeout=30)
                self.assertEqual((code, out, err), (255, LOG_IS_DESTINATION, ""))
                self.assertEqual(snapshot(self.work), before)
                for name in os.listdir(self.work):
                    os.remove(self.path(name))

    def files_the_run_reads(self):
        """A fresh source database, its hard link, a table list, a second
        settings file, and someone else's file with a link to it."""
        shutil.rmtree(self.work)
        os.mkdir(self.work)
        source = self.path("src")
        os.mkdir(source)
        db = sqlite3.connect(os.path.join(source, "shop.db"))
        db.execute('CREATE TABLE "DEPT" ("DEPTNO" NUMBER(2), "DNAME" VARCHAR2(14))')
        db.execute("INSERT INTO \"DEPT\" VALUES (10, 'FINANCE')")
        db.commit()
        db.close()
        os.link(os.path.join(source, "shop.db"), self.path("hard.log"))
        with open(self.path("tables.txt"), "w") as f:
            f.write("DEPT\n")
        with open(self.path("other.qlt"), "w") as f:
            f.write("[Generic settings]\nsrc=shop\n")
        with open(self.path("theirs.txt"), "w") as f:
            f.write("not the user's\n")
        os.chmod(self.path("theirs.txt"), 0o644)
        os.symlink("theirs.txt", self.path("link.log"))
        return source

    def test_a_log_file_that_leads_to_a_file_the_run_reads_or_through_a_link_is_refused(self):
        shop = os.path.join(self.work, "src", "shop.db")
        reads = "Error:\nLogfile name specifies a file the run reads: %s\n"
        cases = [
            # log file, options before the settings file and after it, message
            (shop, (), (), reads % shop),
            ("hard.log", (), (), reads % "hard.log"),
            ("p.qlt", (), (), reads % "p.qlt"),
            ("other.qlt", ("--profile=other.qlt",), (), reads % "other.qlt"),
            ("tables.txt", (), ("--tab_file=tables.txt",), reads % "tables.txt"),
            ("link.log", (), (), "Error:\nLogfile name specifies a symbolic link: link.log\n"),
        ]
        for logfile, first, after, message in cases:
            with self.subTest(logfile=logfile, options=first + after):
                source = self.files_the_run_reads()
                with open(self.path("p.qlt"), "w") as f:
                    f.write(settings("out.xlsx", 2, logfile, src="shop"))
                before = snapshot(self.work)
                code, out, err = e2e_support.run([*first, "--profile=p.qlt", *after], self.work, source=source,
                                                 timeout=30)
                self.assertEqual((code, out, err), (255, message, ""))
                self.assertEqual(snapshot(self.work), before)

    def test_a_run_that_ends_before_its_source_is_open_logs_only_into_a_new_or_empty_file(self):
        # The file the source would have been may not be known then: the log
        # may name it. The file a connection would open is known before it is
        # tried: a log that names it is refused then.
        left = "The log file %s was left as it was: the run ended before its source was open.\n"
        refused = "Error:\nLogfile name specifies a file the run reads: %s\n"
        cases = [
            # what ends the run, the source, the log file, options after the settings file, the error output
            ("a locked source", "shop", "src/shop.db", (), refused % "src/shop.db"),
            ("no database", "notes", "src/notes.db", (), refused % "src/notes.db"),
            ("a settings file after it that does not exist", "shop", "src/shop.db", ("--profile=none.qlt",),
             left % "src/shop.db"),
            ("a source that does not exist", "missing", "src/shop.db", (), left % "src/shop.db"),
            ("a source that does not exist", "missing", "new.log", (), ""),
            ("a source that does not exist", "missing", "empty.log", (), ""),
            ("a locked source", "shop", "new.log", (), ""),
        ]
        for what, src, logfile, after, err_expected in cases:
            with self.subTest(what=what, logfile=logfile, options=after):
                source = self.files_the_run_reads()
                with open(os.path.join(source, "notes.db"), "w") as f:
                    f.write("the user's notes, kept as a database would be\n" * 100)
                open(self.path("empty.log"), "w").close()
                with open(self.path("p.qlt"), "w") as f:
                    f.write(settings("out.xlsx", 2, logfile, src=src))
                before = snapshot(self.work)
                lock = None
                if what == "a locked source":
                    lock = sqlite3.connect(os.path.join(source, "shop.db"), isolation_level=None)
                    lock.execute("BEGIN EXCLUSIVE")
                try:
                    code, out, err = e2e_support.run(["--profile=p.qlt", *after], self.work, source=source,
                                                     timeout=60)
                finally:
                    if lock:
                        lock.close()
                after_run = snapshot(self.work)
                changed = sorted(name for name in set(before) | set(after_run)
                                 if before.get(name) != after_run.get(name))
                # The log's file byte for byte, or the log made or written into.
                self.assertEqual(changed, [] if err_expected else [self.path(logfile)])
                if err_expected.startswith("Error:"):
                    self.assertEqual((code, out, err), (255, err_expected, ""))
                    continue
                self.assertEqual((code, err), (255, err_expected), out)
                self.assertTrue(out.startswith("Error:\n"), out)
                if err_expected:
                    continue
                log, mode = after_run[self.path(logfile)]
                text = log.decode("utf-8", "replace")
                self.assertTrue("Connecting to Oracle data source '%s'" % src in text, "the held lines are missing")
                # Logged after the held lines were written: it follows them.
                self.assertTrue("Got 0-level error" in text, "the later lines are missing")
                self.assertEqual(mode, 0o600)

    def test_a_log_file_whose_folder_is_reached_through_a_link_is_taken(self):
        source = self.files_the_run_reads()
        os.mkdir(self.path("logs"))
        os.symlink("logs", self.path("linked"))
        with open(self.path("p.qlt"), "w") as f:
            f.write(settings("out.xlsx", 2, "linked/run.log", src="shop"))
        code, out, err = e2e_support.run(["--profile=p.qlt"], self.work, source=source, timeout=30)
        self.assertEqual((code, err), (0, ""), out)
        self.assertEqual(os.listdir(self.path("logs")), ["run.log"])
        self.assertEqual(e2e_support.cell_texts(self.path("out.xlsx")),
                         {"DEPT": [["DEPTNO", "DNAME"], ["10", "FINANCE"]]})

    def test_a_log_file_that_cannot_be_made_is_said_once_and_the_run_goes_on(self):
        long_name = "x" * 300 + ".log"
        cases = [(long_name, "file name too long")]
        # The owner of every file may write anywhere.
        if os.geteuid() != 0:
            os.mkdir(self.path("closed"), 0o555)
            cases.append(("closed/run.log", "permission denied"))
        for logfile, reason in cases:
            with self.subTest(logfile=logfile):
                code, out, err = self.run_with_settings("out.xlsx", 2, logfile)
                self.assertEqual((code, err), (0, "Cannot open the log file %s: %s\n" % (logfile, reason)), out)
                self.assertEqual(sorted(e2e_support.cell_texts(self.path("out.xlsx"))), ["DEPT"])
                os.remove(self.path("out.xlsx"))

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
