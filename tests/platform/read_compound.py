#!/usr/bin/env python3
"""Reads a compound file with an independent reader and checks its streams.

Usage: read_compound.py FILE NAME=SIZE:SEED [NAME=SIZE:SEED ...]
Each stream holds SIZE bytes of the tests' pattern for SEED (byte i is
(i * 31 + SEED + i // 256) mod 256). Exits 0 when every named stream is there
with that content and the reader reported nothing; prints what differed
otherwise.
"""
import io
import sys

import xlrd.compdoc


def main():
    path, expected = sys.argv[1], dict(a.split("=", 1) for a in sys.argv[2:])
    log = io.StringIO()
    with open(path, "rb") as f:
        doc = xlrd.compdoc.CompDoc(f.read(), logfile=log)
    bad = []
    for name, spec in expected.items():
        size, seed = (int(x) for x in spec.split(":"))
        want = bytes((i * 31 + seed + i // 256) % 256 for i in range(size))
        data = doc.get_named_stream(name)
        if data is None:
            bad.append("%s: missing" % name)
        elif data != want:
            bad.append("%s: %d bytes, other content" % (name, len(data)))
    if log.getvalue():
        bad.append("reader said: " + log.getvalue().strip())
    print("\n".join(bad) if bad else "OK")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
