"""Builds an ocilite database with one table shaped like an Oracle export:
100,000 rows (or the count given) of 10 columns.

usage: make_bench_db.py OUTPUT.db [ROWS] [repeat|distinct]

With "repeat" every row is one of 1,000 rows, so the texts repeat and the
peak memory shows whether it grows with the rows. With "distinct" the 10
columns are texts and every cell is a text of its own ("row 0000001
column 0"): 1,000,000 distinct texts for 100,000 rows, the worst case of
the shared-string table.
"""
import random
import sqlite3
import sys

path = sys.argv[1]
rows = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
mode = sys.argv[3] if len(sys.argv) > 3 else ""
repeat = mode == "repeat"
random.seed(20101231)

cities = ["Lisbon", "Gdańsk", "Malmö", "Zürich", "Kraków", "Århus", "Sevilla", "Łódź", "Orléans", "Tromsø"]
words = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota", "kappa", "lambda", "müller"]

db = sqlite3.connect(path)
db.execute("DROP TABLE IF EXISTS \"ORDERS\"")


def row(i):
    if repeat:
        random.seed(i % 1000)
        i = i % 1000
    amount = round(random.uniform(1, 99999), 2)
    rate = random.random() * 100
    city = random.choice(cities)                      # repeated
    code = "C%09d" % (i * 7919 % 1000000007)          # unique
    title = " ".join(random.choice(words) for _ in range(random.randint(1, 4)))  # some repeats
    created = "20%02d-%02d-%02d %02d:%02d:%02d" % (random.randint(0, 25), random.randint(1, 12),
                                                   random.randint(1, 28), random.randint(0, 23),
                                                   random.randint(0, 59), random.randint(0, 59))
    note = None if i % 2 else "note %d for %s" % (i % 500, city)
    active = i % 2
    description = ("Order %d shipped to %s; " % (i, city)) * random.randint(1, 5)
    return (i, amount, rate, city, code, title, created, note, active, description[:200])


if mode == "distinct":
    db.execute('CREATE TABLE "ORDERS" (%s)' % ", ".join('"C%d" VARCHAR2(30)' % c for c in range(10)))
    db.executemany('INSERT INTO "ORDERS" VALUES (?,?,?,?,?,?,?,?,?,?)',
                   (["row %07d column %d" % (r, c) for c in range(10)] for r in range(rows)))
else:
    db.execute('CREATE TABLE "ORDERS" ("ID" NUMBER(10) NOT NULL, "AMOUNT" NUMBER(10,2), "RATE" NUMBER, '
               '"CITY" VARCHAR2(40), "CODE" VARCHAR2(12), "TITLE" VARCHAR2(40), "CREATED" DATE, '
               '"NOTE" VARCHAR2(100), "ACTIVE" NUMBER(1), "DESCRIPTION" VARCHAR2(200))')
    db.executemany('INSERT INTO "ORDERS" VALUES (?,?,?,?,?,?,?,?,?,?)', (row(i) for i in range(1, rows + 1)))
db.commit()
db.close()
