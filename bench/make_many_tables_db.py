"""Builds an ocilite database of many small tables, as a real schema has:
300 tables (or the count given) of 2,000 rows (or the count given) and 5
columns: a number, a short text, a decimal, a date and a longer text.

usage: make_many_tables_db.py OUTPUT.db [TABLES] [ROWS]
"""
import random
import sqlite3
import sys

path = sys.argv[1]
tables = int(sys.argv[2]) if len(sys.argv) > 2 else 300
rows = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
random.seed(20240229)

words = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota", "kappa", "lambda", "müller"]

db = sqlite3.connect(path)
for t in range(1, tables + 1):
    name = "T%03d" % t
    db.execute('DROP TABLE IF EXISTS "%s"' % name)
    db.execute('CREATE TABLE "%s" ("ID" NUMBER(10) NOT NULL, "CODE" VARCHAR2(12), "AMOUNT" NUMBER(10,2), '
               '"CREATED" DATE, "NOTE" VARCHAR2(100))' % name)

    def row(i):
        created = "20%02d-%02d-%02d %02d:%02d:%02d" % (random.randint(0, 25), random.randint(1, 12),
                                                       random.randint(1, 28), random.randint(0, 23),
                                                       random.randint(0, 59), random.randint(0, 59))
        note = " ".join(random.choice(words) for _ in range(random.randint(2, 8)))
        return (i, "%s-%06d" % (name, i), round(random.uniform(1, 99999), 2), created, note)

    db.executemany('INSERT INTO "%s" VALUES (?,?,?,?,?)' % name, (row(i) for i in range(1, rows + 1)))
db.commit()
db.close()
