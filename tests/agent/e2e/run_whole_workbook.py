"""QUILLCMD replaces the destination in one step at the end of a run that
wrote its whole workbook, or not at all: a packer that fails, a full disk,
a temporary folder that cannot be made, a selection whose every item fails
at its first record, a kill between items, a signal before the last step,
each leaves the old workbook byte for byte, with its owner, group and mode,
and says so; what a killed run left goes with the next run. Runs at once on
one destination never mix; long names, the old file's owner, mode and ACL,
links and what is no regular file are taken care of, and a destination
that is a file the run reads is refused.

usage: run_whole_workbook.py QUILLCMD [unittest arguments]
"""
import errno
import os
import resource
import shutil
import signal
import socket
import sqlite3
import stat
import struct
import subprocess
import tempfile
import unittest

import e2e_support

OLD = b"\xd0\xcf\x11\xe0 yesterday's workbook, which only this run's whole workbook may replace"
KEPT = "The existing workbook was left as it was."
EXT = {0: "xls", 1: "xls", 2: "xlsx"}
TABLES = 40
ROWS = 300
BIG_ROWS = 300000


def build_sources(folder):
    """bad.db: tables whose first record cannot be fetched (ORA-01722) and
    one good one; many.db: TABLES tables whose values tell them apart;
    parts.db: tables whose .xlsx parts are small, their package not;
    kill.db: a small table and then a long one."""
    db = sqlite3.connect(os.path.join(folder, "bad.db"))
    for name in ("BAD1", "BAD2"):
        db.execute('CREATE TABLE "%s" ("N" NUMBER(10))' % name)
        db.execute('INSERT INTO "%s" VALUES (\'not a number\')' % name)
    db.execute('CREATE TABLE "GOOD" ("N" NUMBER(10))')
    db.execute('INSERT INTO "GOOD" VALUES (7)')
    db.commit()
    db.close()
    db = sqlite3.connect(os.path.join(folder, "many.db"))
    for t in range(TABLES):
        db.execute('CREATE TABLE "T%02d" ("N" NUMBER(10))' % t)
        db.executemany('INSERT INTO "T%02d" VALUES (?)' % t, [(t * 1000 + r,) for r in range(ROWS)])
    db.commit()
    db.close()
    db = sqlite3.connect(os.path.join(folder, "parts.db"))
    for t in range(60):
        db.execute('CREATE TABLE "P%02d" ("N" NUMBER(10))' % t)
        db.executemany('INSERT INTO "P%02d" VALUES (1)' % t, [()] * 30)
    db.commit()
    db.close()
    db = sqlite3.connect(os.path.join(folder, "kill.db"))
    db.execute('CREATE TABLE "A_SMALL" ("N" NUMBER(10))')
    db.execute('INSERT INTO "A_SMALL" VALUES (1)')
    db.execute('CREATE TABLE "B_BIG" ("ID" NUMBER(10), "NOTE" VARCHAR2(60))')
    db.execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %d) "
               "INSERT INTO \"B_BIG\" SELECT i, 'a note that makes the row longer ' || i FROM n" % BIG_ROWS)
    db.commit()
    db.close()


def many_expected(tables):
    """The sheets of a run over these tables of many.db, as read_book gives them."""
    return {"T%02d" % t: [["N"]] + [[str(t * 1000 + r)] for r in range(ROWS)] for t in tables}


def read_book(path, version):
    """Every sheet as rows of texts, whole numbers without a fraction."""
    read = e2e_support.cell_texts if version == 2 else e2e_support.xls_cells

    def text(value):
        return str(int(value)) if isinstance(value, float) and value.is_integer() else str(value)
    return {sheet: [[text(v) for v in row] for row in rows] for sheet, rows in read(path).items()}


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def file_state(path):
    """What a run must leave of an old file: its bytes, owner, group and mode."""
    st = os.stat(path)
    return read_bytes(path), st.st_uid, st.st_gid, stat.S_IMODE(st.st_mode)


def acl(*entries):
    """An access ACL as the system stores it: (tag, permission, id) entries."""
    return struct.pack("<I", 2) + b"".join(struct.pack("<HHI", tag, perm, ident) for tag, perm, ident in entries)


NO_ID = 0xFFFFFFFF
NOBODY = 65534


def as_nobody():
    """For preexec_fn: the child becomes the account nobody."""
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)


def reachable_by_all(path):
    """Search permission for everyone on the folders above `path` that are ours."""
    while len(path) > 1:
        st = os.stat(path)
        if st.st_uid == os.geteuid():
            os.chmod(path, stat.S_IMODE(st.st_mode) | 0o711)
        path = os.path.dirname(path)


class WholeWorkbookTest(e2e_support.WorkFolderTest):
    prefix = "qm_whole_"

    @classmethod
    def setUpClass(cls):
        cls.sources = tempfile.mkdtemp(prefix="qm_whole_sources_")
        build_sources(cls.sources)

    @classmethod
    def tearDownClass(cls):
        e2e_support.remove_tree(cls.sources)

    def setUp(self):
        super().setUp()
        self.fresh()

    def fresh(self):
        """An empty destination folder `out` and temporary folder `temp`."""
        self.run_folder = tempfile.mkdtemp(dir=self.work)
        self.out = os.path.join(self.run_folder, "out")
        self.temp = os.path.join(self.run_folder, "tmp")
        os.mkdir(self.out)
        os.mkdir(self.temp)

    def old_workbook(self, name, mode=0o644):
        path = os.path.join(self.out, name)
        with open(path, "wb") as f:
            f.write(OLD)
        os.chmod(path, mode)
        return path

    def arguments(self, version, dest, src="demo", tables=None):
        args = ["--src=" + src, "--user=scott", "--xls_ver=%d" % version, "--dest=" + dest]
        if tables is not None:
            listed = os.path.join(self.run_folder, "tables%d.txt" % len(os.listdir(self.run_folder)))
            with open(listed, "w") as f:
                f.write("".join(t + "\n" for t in tables))
            args.append("--tab_file=" + listed)
        return args

    def quillcmd(self, args, path=None, temp=None, file_size=None, umask=None, timeout=120):
        """QUILLCMD run in `out`: exit code, output, error output. With
        `file_size`, no file it writes grows past that many bytes (a full
        disk, for root too)."""
        def limits():
            if file_size is not None:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_size, file_size))
            if umask is not None:
                os.umask(umask)
        return e2e_support.run(args, self.out, self.sources, path, timeout, temp or self.temp, preexec_fn=limits)

    def fake_zip(self, body):
        """A folder holding only a zip program that runs `body` (sh)."""
        folder = tempfile.mkdtemp(dir=self.work)
        with open(os.path.join(folder, "zip"), "w") as f:
            f.write("#!/bin/sh\n" + body + "\n")
        os.chmod(os.path.join(folder, "zip"), 0o755)
        return folder

    def assert_kept(self, path, code, out, err, cause, before=None):
        """The run failed, told the cause and that the old workbook stays,
        and left nothing of its own; no message names a folder of the run's."""
        self.assertEqual(code, 255, out + err)
        self.assertEqual(read_bytes(path), OLD, "the old workbook changed")
        if before is not None:
            self.assertEqual(file_state(path), before)
        self.assertIn("Error:\n", out)
        self.assertIn(cause, out)
        self.assertNotIn(".quillmark-", out)
        self.assertTrue(out.endswith(KEPT + "\n"), out)
        self.assertEqual(os.listdir(self.out), [os.path.basename(path)])
        self.assertEqual(os.listdir(self.temp), [])

    def test_1_a_packer_that_fails_leaves_the_old_workbook(self):
        cases = [
            ("no zip", tempfile.mkdtemp(dir=self.work), 'cannot start the zip program "zip": No such file or directory'),
            ("exit 1", self.fake_zip("exit 1"), "ended with exit code 1"),
            ("killed", self.fake_zip("kill -9 $$"), "ended with exit code 137"),
            ("no archive", self.fake_zip("exit 0"), "left no file"),
        ]
        for what, path, cause in cases:
            with self.subTest(what):
                self.fresh()
                dest = self.old_workbook("book.xlsx")
                code, out, err = self.quillcmd(self.arguments(2, "book.xlsx"), path=path)
                self.assert_kept(dest, code, out, err, cause)

    def test_2_a_full_disk_or_an_unusable_temporary_folder_leaves_the_old_workbook(self):
        # The workbook's own files cannot grow: in the destination's folder
        # (.xls, the packer's archive of many small parts), in TMPDIR (.xlsx parts).
        for version, src, size, cause in ((0, "demo", 4000, "the disk is full"), (1, "demo", 4000, "the disk is full"),
                                          (2, "parts", 12000, "exit code 14 (the archive cannot be written)"),
                                          (2, "demo", 4000, "File too large")):
            with self.subTest(version=version, src=src, file_size=size):
                self.fresh()
                dest = self.old_workbook("book." + EXT[version], 0o640)
                before = file_state(dest)
                code, out, err = self.quillcmd(self.arguments(version, dest, src), file_size=size)
                self.assert_kept(dest, code, out, err, cause, before)
                if version != 2:
                    self.assertIn("Cannot write the file '%s': the disk is full." % dest, out)
        # TMPDIR a regular file, or a folder the user cannot write in: the
        # message gives the reason the folder cannot be made.
        a_file = self.path("a file")
        with open(a_file, "w") as f:
            f.write("not a folder")
        cases = [(a_file, "Not a directory")]
        unwritable = self.path("read-only")
        os.mkdir(unwritable, 0o500)
        if os.geteuid() == 0:
            unwritable = "/sys"  # no folder is made there, also by root
        # Where a folder can be made after all (a root that may), that case is left out.
        probe = os.path.join(unwritable, "probe")
        try:
            os.mkdir(probe)
            os.rmdir(probe)
        except OSError as e:
            if e.errno != errno.ENOENT:
                cases.append((unwritable, os.strerror(e.errno)))
        for temp, cause in cases:
            with self.subTest(temp=temp):
                self.fresh()
                dest = self.old_workbook("book.xlsx")
                code, out, err = self.quillcmd(self.arguments(2, dest), temp=temp)
                self.assert_kept(dest, code, out, err, 'cannot create the folder "%s/xlsx_' % temp)
                self.assertIn('": %s. ' % cause, out)

    def test_3_a_selection_whose_every_item_fails_at_its_first_record_keeps_the_old_workbook(self):
        for version in (0, 1, 2):
            with self.subTest(version=version):
                self.fresh()
                dest = self.old_workbook("book." + EXT[version])
                code, out, err = self.quillcmd(self.arguments(version, dest, "bad", ["BAD1", "BAD2"]))
                self.assert_kept(dest, code, out, err, "BAD2: ORA-01722: invalid number")
                self.assertIn("\nError:\nNo table or query was converted. " + KEPT + "\n", out)
                # One item that is written replaces it: its sheet is whole.
                code, out, err = self.quillcmd(self.arguments(version, dest, "bad", ["BAD1", "GOOD"]))
                self.assertEqual(code, 255, out + err)
                self.assertEqual(read_book(dest, version)["GOOD"], [["N"], ["7"]])
                self.assertEqual(os.listdir(self.out), [os.path.basename(dest)])

    def start_until_big(self, version, dest):
        """A run over kill.db, once it has written its first item and begun the long one."""
        process = e2e_support.start(self.arguments(version, dest, "kill"), self.out, self.sources, temp=self.temp)
        for line in process.stdout:
            if line.startswith("Converting table B_BIG"):
                break
        return process

    def test_4_what_a_killed_run_left_goes_with_the_next_run_and_a_live_run_keeps_its_own(self):
        for version in (0, 1, 2):
            with self.subTest(version=version):
                self.fresh()
                name = "book." + EXT[version]
                dest = self.old_workbook(name, 0o640)
                before = file_state(dest)
                live = self.start_until_big(version, dest)
                # Stopped until the others are done: a live run that is fast
                # would otherwise end, and take its own away, meanwhile.
                live.send_signal(signal.SIGSTOP)
                killed = None
                try:
                    live_folders = set(os.listdir(self.out)) - {name}
                    live_trees = set(os.listdir(self.temp))
                    killed = self.start_until_big(version, dest)
                    killed.kill()
                    killed.communicate()
                    self.assertEqual(killed.returncode, -signal.SIGKILL)
                    self.assertEqual(file_state(dest), before)
                    # Its folder beside the destination, and for .xlsx its tree in TMPDIR.
                    self.assertEqual(len(set(os.listdir(self.out)) - live_folders - {name}), 1)
                    self.assertEqual(len(set(os.listdir(self.temp)) - live_trees), 1 if version == 2 else 0)
                    code, out, err = self.quillcmd(self.arguments(version, dest, "kill", ["A_SMALL"]))
                    self.assertEqual((code, err), (0, ""), out)
                    self.assertEqual(read_book(dest, version), {"A_SMALL": [["N"], ["1"]]})
                    self.assertEqual(file_state(dest)[1:], before[1:])
                    # The killed run's are gone; the live run's stay, and it goes on to its end.
                    self.assertEqual(set(os.listdir(self.out)), live_folders | {name})
                    self.assertEqual(set(os.listdir(self.temp)), live_trees)
                    live.send_signal(signal.SIGCONT)
                    out, err = live.communicate(timeout=120)
                finally:
                    for process in (live, killed):
                        if process and process.poll() is None:
                            process.kill()
                            process.communicate()
                # B_BIG has more rows than an .xls worksheet holds: cut, and said.
                self.assertEqual((live.returncode, err), (0 if version == 2 else 255, ""), out)
                self.assertEqual(sorted(read_book(dest, version)), ["A_SMALL", "B_BIG"])
                self.assertEqual(os.listdir(self.out), [name])
                self.assertEqual(os.listdir(self.temp), [])

    def test_5_runs_at_once_on_one_destination_never_mix(self):
        selections = [list(range(TABLES)), list(range(0, TABLES, 3))]
        # Eight runs started together, a few times over: how they interleave varies.
        for version, attempt in [(v, a) for v in (1, 2) for a in range(4)]:
            with self.subTest(version=version, attempt=attempt):
                self.fresh()
                name = "book." + EXT[version]
                dest = self.old_workbook(name)
                runs = []
                for i in range(8):
                    tables = ["T%02d" % t for t in selections[i % 2]]
                    runs.append(e2e_support.start(self.arguments(version, dest, "many", tables), self.out, self.sources,
                                                  temp=self.temp))
                try:
                    # Well within the script's limit: a run that hangs fails
                    # this case, and the others are ended with it.
                    for run in runs:
                        out, err = run.communicate(timeout=60)
                        # Each run wrote its whole workbook and says so.
                        self.assertEqual((run.returncode, err), (0, ""), out)
                        self.assertNotIn("Error", out)
                finally:
                    for run in runs:
                        if run.poll() is None:
                            run.kill()
                            run.communicate()
                book = read_book(dest, version)
                self.assertTrue(book in [many_expected(s) for s in selections],
                                "a workbook of no single run: " + str({k: len(v) for k, v in book.items()}))
                self.assertEqual(os.listdir(self.out), [name])
                self.assertEqual(os.listdir(self.temp), [])

    def test_6_a_destination_name_as_long_as_the_file_system_takes_is_written(self):
        for version in (0, 1, 2):
            for length in (244, 255):
                with self.subTest(version=version, length=length):
                    self.fresh()
                    ext = "." + EXT[version]
                    name = "n" * (length - len(ext)) + ext
                    dest = self.old_workbook(name)
                    code, out, err = self.quillcmd(self.arguments(version, name, tables=["DEPT"]))
                    self.assertEqual((code, err), (0, ""), out)
                    self.assertEqual(list(read_book(dest, version)), ["DEPT"])
                    self.assertEqual(len(read_book(dest, version)["DEPT"]), 5)
                    self.assertEqual(os.listdir(self.out), [name])

    def test_7_the_workbook_keeps_the_permission_bits_of_the_file_it_replaces(self):
        for version in (0, 1, 2):
            with self.subTest(version=version):
                self.fresh()
                dest = self.old_workbook("book." + EXT[version], 0o600)
                code, out, err = self.quillcmd(self.arguments(version, dest, tables=["DEPT"]), umask=0o022)
                self.assertEqual((code, err), (0, ""), out)
                self.assertEqual(list(read_book(dest, version)), ["DEPT"])
                self.assertEqual(stat.S_IMODE(os.stat(dest).st_mode), 0o600)
                # A new one gets what the user's umask gives.
                new = os.path.join(self.out, "new." + EXT[version])
                code, out, err = self.quillcmd(self.arguments(version, new, tables=["DEPT"]), umask=0o027)
                self.assertEqual((code, err), (0, ""), out)
                self.assertEqual(stat.S_IMODE(os.stat(new).st_mode), 0o640)

    def test_8_a_named_pipe_socket_or_device_is_refused_before_anything_is_connected(self):
        os.mkfifo(os.path.join(self.out, "pipe.xls"))
        os.symlink("pipe.xls", os.path.join(self.out, "to_pipe.xls"))
        os.symlink("/dev/null", os.path.join(self.out, "device.xlsx"))
        server = socket.socket(socket.AF_UNIX)
        # Bound by a name relative to its folder: a socket's path holds 108
        # bytes at most, fewer than a TMPDIR may take.
        here = os.getcwd()
        os.chdir(self.out)
        try:
            server.bind("socket.xlsx")
        finally:
            os.chdir(here)
        try:
            before = sorted(os.listdir(self.out))
            for version, name in ((1, "pipe.xls"), (0, "to_pipe.xls"), (2, "device.xlsx"), (2, "socket.xlsx")):
                with self.subTest(name=name):
                    refused = ('Error:\nDestination name should specify a file, not a named pipe, socket or device: '
                               '"%s".\n' % os.path.join(self.out, name))
                    # A source that cannot be reached, whose error would come first, and one that can.
                    for src in ("no_such_source", "demo"):
                        args = ["--src=" + src, "--user=scott", "--xls_ver=%d" % version, "--dest=" + name]
                        self.assertEqual(self.quillcmd(args, timeout=30), (255, refused, ""))
                        self.assertEqual(sorted(os.listdir(self.out)), before)
            self.assertTrue(stat.S_ISFIFO(os.stat(os.path.join(self.out, "pipe.xls")).st_mode))
        finally:
            server.close()

    def test_9_a_destination_that_is_a_file_the_run_reads_is_refused_before_anything_is_connected(self):
        for version in (0, 1, 2):
            with self.subTest(version=version):
                self.fresh()
                ext = "." + EXT[version]
                shutil.copy(os.path.join(self.sources, "bad.db"), os.path.join(self.out, "db" + ext))
                with open(os.path.join(self.out, "p" + ext), "w") as f:
                    f.write("[Generic settings]\nsrc=demo\ndest=p%s\n\n[MS Excel settings]\nformat version=%d\n\n"
                            "[Oracle settings]\nuser=scott\n" % (ext, version))
                with open(os.path.join(self.out, "t" + ext), "w") as f:
                    f.write("DEPT\n")
                os.link(os.path.join(self.out, "db" + ext), os.path.join(self.out, "hard" + ext))
                os.symlink("db" + ext, os.path.join(self.out, "soft" + ext))
                source = ["--host=", "--port=", "--src=db" + ext, "--user=scott", "--xls_ver=%d" % version]
                cases = [
                    (source + ["--dest=db" + ext], "the source database", "db"),
                    (source + ["--dest=./db" + ext], "the source database", "db"),
                    (source + ["--dest=hard" + ext], "the source database", "hard"),
                    (source + ["--dest=soft" + ext], "the source database", "soft"),
                    (["--profile=p" + ext], "a settings file the run reads", "p"),
                    (["--src=demo", "--user=scott", "--xls_ver=%d" % version, "--tab_file=t" + ext, "--dest=t"],
                     "the table list", "t"),
                ]
                before = {name: file_state(os.path.join(self.out, name)) for name in os.listdir(self.out)}
                for args, what, name in cases:
                    refused = 'Error:\nDestination name specifies %s: "%s".\n' % (what, os.path.join(self.out, name + ext))
                    self.assertEqual(self.quillcmd(args, timeout=30), (255, refused, ""), args)
                    self.assertEqual({n: file_state(os.path.join(self.out, n)) for n in os.listdir(self.out)}, before)
                self.assertEqual(os.listdir(self.temp), [])

    def test_10_a_link_of_the_users_is_followed_and_stays_another_is_refused(self):
        for version in (1, 2):
            with self.subTest(version=version):
                self.fresh()
                ext = "." + EXT[version]
                shared = os.path.join(self.run_folder, "shared")
                os.mkdir(shared)
                report = os.path.join(shared, "report" + ext)
                with open(report, "wb") as f:
                    f.write(OLD)
                os.chmod(report, 0o640)
                before = file_state(report)
                os.symlink(os.path.join("..", "shared", "report" + ext), os.path.join(self.out, "link" + ext))
                code, out, err = self.quillcmd(self.arguments(version, "link" + ext, tables=["DEPT"]))
                self.assertEqual((code, err), (0, ""), out)
                self.assertTrue(os.path.islink(os.path.join(self.out, "link" + ext)))
                self.assertEqual(list(read_book(report, version)), ["DEPT"])
                self.assertEqual(file_state(report)[1:], before[1:])
                self.assertEqual(os.listdir(shared), ["report" + ext])
                self.assertEqual(os.listdir(self.out), ["link" + ext])
                # A link to nothing, and (for root) a link another account put in root's folder.
                os.symlink("nothing" + ext, os.path.join(self.out, "gone" + ext))
                refusals = [("gone", "it is a symbolic link to a file that does not exist")]
                if os.geteuid() == 0:
                    os.symlink(report, os.path.join(self.out, "planted" + ext))
                    os.lchown(os.path.join(self.out, "planted" + ext), NOBODY, NOBODY)
                    refusals.append(("planted", "it is a symbolic link that belongs to another user"))
                for name, why in refusals:
                    refused = 'Error:\nCannot write the destination file "%s": %s.\n' % (
                        os.path.join(self.out, name + ext), why)
                    args = ["--src=no_such_source", "--user=scott", "--xls_ver=%d" % version, "--dest=" + name + ext]
                    self.assertEqual(self.quillcmd(args, timeout=30), (255, refused, ""))
                self.assertEqual(file_state(report)[1:], before[1:])
                self.assertEqual(os.listdir(shared), ["report" + ext])

    def test_11_the_new_workbook_keeps_the_old_files_owner_group_acl_and_attributes(self):
        # The owning group may read; the mask lets a named user write too.
        rights = acl((1, 6, NO_ID), (2, 6, NOBODY), (4, 4, NO_ID), (0x10, 6, NO_ID), (0x20, 0, NO_ID))
        for version in (0, 1, 2):
            with self.subTest(version=version):
                self.fresh()
                dest = self.old_workbook("book." + EXT[version], 0o640)
                try:
                    os.setxattr(dest, "system.posix_acl_access", rights)
                    os.setxattr(dest, "user.note", b"kept")
                except OSError as e:
                    self.skipTest("no ACL or user attribute here: %s" % e)
                before = file_state(dest)
                code, out, err = self.quillcmd(self.arguments(version, dest, tables=["DEPT"]))
                self.assertEqual((code, err), (0, ""), out)
                self.assertEqual(list(read_book(dest, version)), ["DEPT"])
                self.assertEqual(file_state(dest)[1:], before[1:])
                self.assertEqual(os.getxattr(dest, "system.posix_acl_access"), rights)
                self.assertEqual(os.getxattr(dest, "user.note"), b"kept")
                if os.geteuid() != 0:
                    continue
                # Root replaces another account's 0600 workbook: it stays that account's, readable by it.
                theirs = self.old_workbook("theirs." + EXT[version], 0o600)
                os.chown(theirs, NOBODY, NOBODY)
                reachable_by_all(self.out)
                before = file_state(theirs)
                code, out, err = self.quillcmd(self.arguments(version, theirs, tables=["DEPT"]))
                self.assertEqual((code, err), (0, ""), out)
                self.assertEqual(file_state(theirs)[1:], before[1:])
                read = subprocess.run(["cat", theirs], preexec_fn=as_nobody, capture_output=True)
                self.assertEqual(read.returncode, 0, read.stderr)
                self.assertEqual(read.stdout, read_bytes(theirs))

    def test_12_what_only_the_rename_would_refuse_is_refused_before_anything_is_connected(self):
        def refused(dest, why):
            return (255, 'Error:\nCannot write the destination file "%s": %s.\n' % (dest, why), "")

        args = lambda dest: ["--src=no_such_source", "--user=scott", "--xls_ver=1", "--dest=" + dest]
        closed = os.path.join(self.run_folder, "closed")
        os.mkdir(closed, 0o755)
        if os.geteuid() != 0:
            os.chmod(closed, 0o555)
            self.assertEqual(self.quillcmd(args(os.path.join(closed, "book.xls")), timeout=30),
                             refused(os.path.join(closed, "book.xls"),
                                     "cannot create a folder beside it: Permission denied"))
            os.chmod(closed, 0o755)
            self.skipTest("the cases of another account's files need root")
        # Another account's runs, in a folder it cannot write and beside root's file in a sticky folder.
        reachable_by_all(self.run_folder)
        temp = os.path.join(self.run_folder, "nobody's tmp")
        os.mkdir(temp)
        os.chown(temp, NOBODY, NOBODY)
        sticky = os.path.join(self.run_folder, "sticky")
        os.mkdir(sticky)
        os.chmod(sticky, 0o1777)
        roots = os.path.join(sticky, "roots.xls")
        with open(roots, "wb") as f:
            f.write(OLD)
        os.chmod(roots, 0o666)
        before = file_state(roots)
        for dest, why in ((os.path.join(closed, "book.xls"), "cannot create a folder beside it: Permission denied"),
                          (roots, "it belongs to another user in a folder where only the owner of a file may "
                                  "replace it")):
            with self.subTest(dest=dest):
                done = subprocess.run([e2e_support.QUILLCMD, *args(dest)], cwd=temp, preexec_fn=as_nobody,
                                      env=e2e_support.environment(temp), capture_output=True, text=True, timeout=30)
                self.assertEqual((done.returncode, done.stdout, done.stderr), refused(dest, why))
        self.assertEqual(file_state(roots), before)
        self.assertEqual(os.listdir(closed), [])
        # A file mounted over another, where this machine lets root mount.
        mounted = self.old_workbook("mounted.xls")
        over = os.path.join(self.run_folder, "over")
        with open(over, "w") as f:
            f.write("over")
        if subprocess.run(["mount", "--bind", over, mounted], capture_output=True).returncode != 0:
            self.skipTest("no bind mount here")
        try:
            self.assertEqual(self.quillcmd(args(mounted), timeout=30), refused(mounted, "it is a mount point"))
        finally:
            subprocess.run(["umount", mounted])
        self.assertEqual(read_bytes(mounted), OLD)

    def test_13_a_signal_before_the_last_step_keeps_the_old_workbook_and_one_during_it_does_not_stop_the_run(self):
        shim = os.path.join(os.path.dirname(e2e_support.QUILLCMD), "..", "lib", "test", "libqm_signal_at_fsync.so")
        if not os.path.exists(shim):
            self.skipTest("no %s" % shim)

        def run(version, dest, **env):
            extra = dict(LD_PRELOAD=os.path.abspath(shim), **{k: str(v) for k, v in env.items()})
            args = self.arguments(version, dest, tables=["DEPT", "EMP"])
            done = subprocess.run([e2e_support.QUILLCMD, *args], cwd=self.out,
                                  env=dict(e2e_support.environment(self.temp), **extra),
                                  capture_output=True, text=True, timeout=60)
            return done.returncode, done.stdout, done.stderr

        for version in (0, 1, 2):
            with self.subTest(version=version):
                self.fresh()
                dest = self.old_workbook("book." + EXT[version], 0o640)
                count = os.path.join(self.run_folder, "fsyncs")
                code, out, err = run(version, dest, QM_FSYNC_COUNT=count)
                self.assertEqual((code, err), (0, ""), out)
                with open(count) as f:
                    calls = int(f.read())
                # Each file put in place is synced, then its folder: the workbook's own sync is the last
                # but one, the run's write before it two further back.
                self.fresh()
                dest = self.old_workbook("book." + EXT[version], 0o640)
                before = file_state(dest)
                code, out, err = run(version, dest, QM_SIGNAL_AT_FSYNC=calls - 3)
                self.assertEqual((code, out, err), (-signal.SIGTERM, "Converting database demo(2 tables)\n"
                                 "Converting table DEPT (4 records)\nConverting table EMP (11 records)\n", ""))
                self.assertEqual(file_state(dest), before)
                self.assertEqual(os.listdir(self.out), ["book." + EXT[version]])
                code, out, err = run(version, dest, QM_SIGNAL_AT_FSYNC=calls - 1)
                self.assertEqual((code, err), (0, ""), out)
                self.assertEqual(sorted(read_book(dest, version)), ["DEPT", "EMP"])
                self.assertEqual(file_state(dest)[1:], before[1:])
                self.assertEqual(os.listdir(self.out), ["book." + EXT[version]])
                self.assertEqual(os.listdir(self.temp), [])


if __name__ == "__main__":
    e2e_support.main()
