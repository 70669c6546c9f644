"""QUILLCMD interrupted in the middle of a run: the run stops, its
temporary tree goes, no workbook is left under the destination's name or
beside it, and the process ends by the signal, also when the signal finds
it waiting for its console. Also the zip program killed or stopped while it
packs, and a console that nobody reads any more.

usage: run_interrupts.py QUILLCMD [unittest arguments]
"""
import fcntl
import os
import shutil
import signal
import sqlite3
import struct
import subprocess
import tempfile
import termios
import time
import unittest

import e2e_support

ROWS = 300000
MID_ROWS = 20000
# Rows of CUBE, whose threefold cross join counts for minutes.
CUBE_ROWS = 2000
LONG_QUERY = 'SELECT COUNT(*) AS "N" FROM "CUBE" a, "CUBE" b, "CUBE" c'


def build_source(path):
    db = sqlite3.connect(path)
    db.execute('CREATE TABLE "BIG" ("ID" NUMBER(10), "NAME" VARCHAR2(40), "NOTE" VARCHAR2(80))')
    db.execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %d) "
               "INSERT INTO \"BIG\" SELECT i, 'name ' || i, 'a note that makes the row longer, number ' || (i * 7) "
               "FROM n" % ROWS)
    db.execute('CREATE TABLE "MID" ("ID" NUMBER(10), "NAME" VARCHAR2(40), "NOTE" VARCHAR2(80))')
    db.execute('INSERT INTO "MID" SELECT * FROM "BIG" WHERE "ID" <= %d' % MID_ROWS)
    db.execute('CREATE TABLE "CUBE" ("ID" NUMBER(10))')
    db.execute('INSERT INTO "CUBE" SELECT "ID" FROM "BIG" WHERE "ID" <= %d' % CUBE_ROWS)
    db.execute('CREATE TABLE "SMALL" ("ID" NUMBER(10))')
    db.execute('INSERT INTO "SMALL" VALUES (1)')
    db.commit()
    db.close()


def tree_size(folder):
    return sum(os.path.getsize(os.path.join(root, name)) for root, _, names in os.walk(folder) for name in names)


def wait_for(condition, what, seconds=60, poll=0.05):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("not reached: " + what)
        time.sleep(poll)


def bytes_read(pid):
    """What the process has read so far (Linux's /proc), 0 once it is gone."""
    try:
        with open("/proc/%d/io" % pid) as f:
            for line in f:
                if line.startswith("rchar:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def stopped(pid):
    """True while the process is stopped (SIGSTOP), or once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] in ("T", "Z")
    except OSError:
        return True


def cpu_seconds(pid):
    """The processor time the process has used so far, 0 once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def plain(value):
    """A cell's value as text, whole numbers without a fraction."""
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def waits_on_console(pid, reader):
    """True while the pipe holds what the process wrote and the process
    sleeps in write(2) or poll(2): it waits to write the rest."""
    try:
        with open("/proc/%d/syscall" % pid) as f:
            call = f.read().split()[0]
    except (OSError, IndexError):
        return False
    queued = struct.unpack("i", fcntl.ioctl(reader, termios.FIONREAD, b"\0" * 4))[0]
    return call in ("1", "7") and queued > 0


def ended(process, seconds, what):
    """The exit code; a process still running after that long is killed."""
    try:
        return process.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise AssertionError(what)


class InterruptTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="qm_interrupt_")
        build_source(os.path.join(cls.folder, "big.db"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def setUp(self):
        self.fresh_folders()

    def fresh_folders(self):
        self.work = tempfile.mkdtemp(prefix="run_", dir=self.folder)
        self.temp = os.path.join(self.work, "tmp")
        self.out = os.path.join(self.work, "out")
        os.mkdir(self.temp)
        os.mkdir(self.out)

    def arguments(self, tables, version):
        listed = os.path.join(self.work, "tables.txt")
        with open(listed, "w") as f:
            f.write("".join(name + "\n" for name in tables))
        return ["--src=big", "--user=scott", "--xls_ver=%d" % version, "--tab_file=" + listed,
                "--dest=" + os.path.join(self.out, "big.xlsx" if version == 2 else "big.xls")]

    def launch(self, tables, version, stdout, stderr):
        """QUILLCMD on these tables, its console where given."""
        return subprocess.Popen([e2e_support.QUILLCMD, *self.arguments(tables, version)], cwd=self.work,
                                env=e2e_support.environment(self.temp, self.folder), stdout=stdout, stderr=stderr)

    def start(self, table="BIG", path=None, version=2):
        return e2e_support.start(self.arguments([table], version), self.work, self.folder, path, temp=self.temp)

    def fake_zip(self, ending):
        """A zip program first on the PATH that leaves its temporary file
        where real zip puts it (the -b folder, else the archive's) and then
        ends as given."""
        bin_folder = os.path.join(self.work, "bin")
        os.mkdir(bin_folder)
        with open(os.path.join(bin_folder, "zip"), "w") as f:
            f.write('#!/bin/sh\n'
                    'while [ $# -gt 0 ]; do\n'
                    '  case "$1" in -b) temp="$2"; shift 2;; -*) shift;; *) archive="$1"; break;; esac\n'
                    'done\n'
                    '[ -n "$temp" ] || temp=$(dirname "$archive")\n'
                    'echo PK > "$temp/ziAbC123"\n' + ending + '\n')
        os.chmod(os.path.join(bin_folder, "zip"), 0o755)
        return bin_folder + ":" + os.environ.get("PATH", "/usr/bin:/bin")

    def finish(self, process):
        try:
            out, err = process.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.communicate()
            raise AssertionError("QUILLCMD did not end")
        return process.returncode, out, err

    def assert_nothing_left(self):
        self.assertEqual(os.listdir(self.temp), [], "the temporary tree stays")
        self.assertEqual(os.listdir(self.out), [], "something stays beside the destination")

    def test_signal_in_the_middle_of_a_table(self):
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=number.name):
                self.fresh_folders()
                process = self.start()
                # A few MB of the table are in the temporary tree.
                wait_for(lambda: tree_size(self.temp) > 2000000 or process.poll() is not None, "data in " + self.temp)
                self.assertIsNone(process.poll(), "the run ended before the signal")
                process.send_signal(number)
                code, out, err = self.finish(process)
                self.assertEqual(code, -number, out + err)
                self.assertIn("Converting table BIG (%d records)" % ROWS, out)
                self.assertNotIn("Error", out)
                self.assert_nothing_left()

    def test_a_signal_breaks_off_a_long_statement(self):
        # The query counts for minutes; the signal ends the run within a few
        # seconds, the old workbook kept, as a stop between records does.
        for number, version in ((signal.SIGTERM, 2), (signal.SIGINT, 1)):
            with self.subTest(signal=number.name):
                self.fresh_folders()
                dest = os.path.join(self.out, "big.xlsx" if version == 2 else "big.xls")
                with open(dest, "w") as f:
                    f.write("an earlier workbook")
                settings = os.path.join(self.work, "long.qlt")
                with open(settings, "w") as f:
                    f.write("[Generic settings]\nsrc=big\n\n[Oracle settings]\nuser=scott\n\n"
                            "[Selected Tables]\nLONG=%s\n\n" % LONG_QUERY)
                process = e2e_support.start(["--profile=" + settings, "--xls_ver=%d" % version, "--dest=" + dest],
                                            self.work, self.folder, temp=self.temp)
                # Well into the statement.
                wait_for(lambda: process.poll() is not None or cpu_seconds(process.pid) > 1.5, "the statement runs")
                self.assertIsNone(process.poll(), "the run ended before the signal")
                sent = time.monotonic()
                process.send_signal(number)
                code = ended(process, 20, "the signal did not end the run")
                took = time.monotonic() - sent
                out, err = process.communicate()
                self.assertEqual(code, -number, out + err)
                self.assertLess(took, 5, "the run went on with the statement")
                self.assertNotIn("Error", out + err)
                with open(dest) as f:
                    self.assertEqual(f.read(), "an earlier workbook")
                self.assertEqual(os.listdir(self.temp), [], "the temporary tree stays")
                self.assertEqual(os.listdir(self.out), [os.path.basename(dest)])

    def test_signal_in_the_middle_of_an_xls_table(self):
        process = self.start(version=1)
        self.assertTrue(process.stdout.readline().startswith("Converting database"))
        self.assertTrue(process.stdout.readline().startswith("Converting table BIG"))
        # Its records are being read: a MB of the source since the line.
        start = bytes_read(process.pid)
        wait_for(lambda: process.poll() is not None or bytes_read(process.pid) > start + 1000000, "records read",
                 poll=0.002)
        # Held where it is, so that the signal finds it there however fast
        # the rest of the table would go.
        process.send_signal(signal.SIGSTOP)
        wait_for(lambda: stopped(process.pid), "the run stopped", poll=0.002)
        self.assertIsNone(process.poll(), "the run ended before the signal")
        process.send_signal(signal.SIGTERM)
        process.send_signal(signal.SIGCONT)
        code, out, err = self.finish(process)
        self.assertEqual(code, -signal.SIGTERM, out + err)
        self.assert_nothing_left()

    def test_a_signal_ends_a_run_that_waits_for_its_console(self):
        # Error lines for missing tables after one real table, on consoles that nobody reads: lines that
        # together fill a small pipe, or one line (a table name of 1 MB) longer than the pipe takes.
        cases = [
            ("many lines", ["Z_MISSING_%02d_" % n + "X" * 150 for n in range(60)], 4096),
            ("one long line", ["Z" * (1 << 20)], None),
        ]
        for lines, missing, pipe_size in cases:
            for version in (2, 1):
                with self.subTest(lines=lines, version=version):
                    self.fresh_folders()
                    out_reader, out_writer = os.pipe()
                    err_reader, err_writer = os.pipe()
                    if pipe_size:
                        fcntl.fcntl(err_writer, fcntl.F_SETPIPE_SZ, pipe_size)
                    process = self.launch(["SMALL"] + missing, version, stdout=out_writer, stderr=err_writer)
                    os.close(out_writer)
                    os.close(err_writer)
                    try:
                        wait_for(lambda: process.poll() is not None or waits_on_console(process.pid, err_reader),
                                 "a full pipe")
                        self.assertIsNone(process.poll(), "the run did not wait for its console")
                        process.send_signal(signal.SIGTERM)
                        code = ended(process, 30, "the first signal did not end the run")
                    finally:
                        os.close(out_reader)
                        os.close(err_reader)
                    self.assertEqual(code, -signal.SIGTERM)
                    self.assert_nothing_left()

    def test_a_console_that_nobody_reads_any_more_drops_its_lines(self):
        # As `QUILLCMD ... | head -c1`: the console closes after one byte,
        # long before the second table's line.
        for version in (2, 1):
            with self.subTest(version=version):
                self.fresh_folders()
                process = self.launch(["MID", "SMALL"], version, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.assertEqual(process.stdout.read(1), b"C")
                process.stdout.close()
                process.stderr.close()
                self.assertEqual(ended(process, 120, "QUILLCMD did not end"), 0)
                self.assertEqual(os.listdir(self.temp), [], "the temporary tree stays")
                name = "big.xlsx" if version == 2 else "big.xls"
                self.assertEqual(os.listdir(self.out), [name])
                read = e2e_support.cell_texts if version == 2 else e2e_support.xls_cells
                sheets = {sheet: [[plain(v) for v in row] for row in rows]
                          for sheet, rows in read(os.path.join(self.out, name)).items()}
                self.assertEqual(sorted(sheets), ["MID", "SMALL"])
                expected_mid = [["ID", "NAME", "NOTE"]] + [
                    [str(i), "name %d" % i, "a note that makes the row longer, number %d" % (i * 7)]
                    for i in range(1, MID_ROWS + 1)]
                self.assertTrue(sheets["MID"] == expected_mid, "MID is not whole")
                self.assertEqual(sheets["SMALL"], [["ID"], ["1"]])

    def test_signal_while_zip_packs(self):
        pid_file = os.path.join(self.work, "zip.pid")
        process = self.start("SMALL", path=self.fake_zip("echo $$ > '%s'; exec sleep 60" % pid_file))
        wait_for(lambda: os.path.exists(pid_file) and os.path.getsize(pid_file) > 0 or process.poll() is not None,
                 "the zip program")
        process.send_signal(signal.SIGTERM)
        code, out, err = self.finish(process)
        self.assertEqual(code, -signal.SIGTERM, out + err)
        with open(pid_file) as f:
            zip_pid = int(f.read())
        with self.assertRaises(ProcessLookupError, msg="the zip program still runs"):
            os.kill(zip_pid, 0)
        self.assert_nothing_left()

    def test_killed_zip_leaves_nothing(self):
        process = self.start("SMALL", path=self.fake_zip("kill -9 $$"))
        code, out, err = self.finish(process)
        self.assertEqual(code, 255)
        self.assertIn("Error:\nCannot write the destination file", out)
        self.assertIn("ended with exit code 137", out)
        self.assert_nothing_left()


if __name__ == "__main__":
    e2e_support.main()
