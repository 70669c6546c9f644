"""Builds the source schema of the end-to-end tests as an ocilite database.

Stored the way ocilite reads Oracle data: Oracle names and types as declared
types, dates as text, RAW and LOB bytes as blobs.
"""
import sqlite3

LONG_A = "CUSTOMER_ORDER_HISTORY_ARCHIVE_2019"
LONG_B = "CUSTOMER_ORDER_HISTORY_ARCHIVE_2020"


def add_login(db):
    """The user SCOTT, password tiger."""
    db.execute('CREATE TABLE "OCILITE_USERS" ("USERNAME" VARCHAR2(30), "PASSWORD" VARCHAR2(30))')
    db.execute("INSERT INTO \"OCILITE_USERS\" VALUES ('SCOTT', 'tiger')")


def build(path):
    db = sqlite3.connect(path)
    x = db.execute
    add_login(db)

    x('CREATE TABLE "EMP" ("EMPNO" NUMBER(4) NOT NULL, "ENAME" VARCHAR2(10), "HIREDATE" DATE, '
      '"SAL" NUMBER(7,2), "COMM" NUMBER(7,2), CONSTRAINT "PK_EMP" PRIMARY KEY ("EMPNO"))')
    x("INSERT INTO \"EMP\" VALUES (7101, 'HARLOW', '2001-03-12', 6100, NULL)")
    x("INSERT INTO \"EMP\" VALUES (7102, 'OKAFOR', '2003-07-01 08:30:00', 3450.5, 0)")
    x("INSERT INTO \"EMP\" VALUES (7103, 'ÇELIK', '2013-04-22', 1800, 1250.75)")

    x('CREATE TABLE "TEXTS" ("ID" NUMBER(4), "T" VARCHAR2(4000), "C" CLOB)')
    texts = [
        (1, "a\r\nb\rc", None),
        (2, "Ж ß é", "Ünïcödé 😀"),
        (3, "tab\there\nnew line", "x" * 40000),
        (4, 'a<b & "c"', None),
        (5, '=HYPERLINK("http://example.com")', "==== total"),
        (6, "3.14", "2010-12-31 10:20:30.005"),
        (7, None, ""),
    ]
    db.executemany('INSERT INTO "TEXTS" VALUES (?, ?, ?)', texts)

    x('CREATE TABLE "NUMS" ("ID" NUMBER(4), "N10" NUMBER(10), "F" FLOAT, "BD" BINARY_DOUBLE, '
      '"N" NUMBER, "N1" NUMBER(1), "N38" NUMBER(38))')
    db.executemany('INSERT INTO "NUMS" VALUES (?, ?, ?, ?, ?, ?, ?)', [
        (1, 9999999999, 3.14, 2.5, 1500, 1, 12345678901234567),
        (2, -2147483649, -0.5, -1e100, 0.25, 0, -1),
        (3, None, None, None, None, None, None),
    ])

    x('CREATE TABLE "DATES" ("ID" NUMBER(4), "D" DATE, "TS" TIMESTAMP(3))')
    db.executemany('INSERT INTO "DATES" VALUES (?, ?, ?)', [
        (1, "2010-12-31 10:20:30", "2010-12-31 10:20:30.005"),
        (2, "1999-01-02", "2049-01-02 00:00:00.250"),
        (3, None, None),
    ])

    x('CREATE TABLE "BINS" ("ID" NUMBER(4), "R" RAW(16), "B" BLOB)')
    db.executemany('INSERT INTO "BINS" VALUES (?, ?, ?)', [
        (1, b"\x01\x02\x03", b"\x00" * 70000),
        (2, None, None),
    ])

    for name in (LONG_A, LONG_B):
        x(f'CREATE TABLE "{name}" ("ID" NUMBER(4))')
        x(f'INSERT INTO "{name}" VALUES (1)')
    db.commit()
    db.close()


def build_many(path):
    """A small schema of several tables for the golden workbooks: names
    that need a generated sheet name, a table that fails at its third row
    (a text in a NUMBER column), a date no Excel 2000 sheet holds, an
    empty table, and one of more rows than a block of 32 takes."""
    db = sqlite3.connect(path)
    x = db.execute
    x('CREATE TABLE "ALPHA" ("ID" NUMBER(4), "NAME" VARCHAR2(20), "AMOUNT" NUMBER(10,2), "HIRED" DATE)')
    db.executemany('INSERT INTO "ALPHA" VALUES (?, ?, ?, ?)', [
        (1, "Zoë", 10.5, "2001-03-12"), (2, None, -3, "2003-07-01 08:30:00"), (3, "Straße", None, None),
        (4, "shared", 0.125, "1999-12-31 23:59:59")])
    x('CREATE TABLE "BETA" ("ID" NUMBER(4), "T" VARCHAR2(10))')
    db.executemany('INSERT INTO "BETA" VALUES (?, ?)', [(1, "b1"), (2, "b2"), ("three", "b3"), (4, "b4")])
    for name in (LONG_A, LONG_B):
        x(f'CREATE TABLE "{name}" ("ID" NUMBER(4), "NOTE" VARCHAR2(10))')
        x(f'INSERT INTO "{name}" VALUES (1, \'{name[-4:]}\')')
    x('CREATE TABLE "DELTA" ("ID" NUMBER(4), "D" DATE)')
    db.executemany('INSERT INTO "DELTA" VALUES (?, ?)', [(1, "2010-12-31 10:20:30"), (2, "1850-06-01"),
                                                       (3, "1900-01-01")])
    x('CREATE TABLE "EMPTY" ("ID" NUMBER(4), "T" VARCHAR2(10))')
    x('CREATE TABLE "GAMMA" ("ID" NUMBER(4), "T" VARCHAR2(20), "S" VARCHAR2(10))')
    db.executemany('INSERT INTO "GAMMA" VALUES (?, ?, ?)', [(i, "gamma %d" % i, "shared") for i in range(1, 41)])
    db.commit()
    db.close()
