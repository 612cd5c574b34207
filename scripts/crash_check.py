#!/usr/bin/env python3
"""Dumps, and compares dumps of, the customer databases of data directories,
for the crash tests (scripts/crash-test.sh, scripts/crash-test-fleet.sh).

  crash_check.py dump OUT DIR [DIR ...]   every *.mdb of each DIR, to OUT (JSON);
                                          with several DIRs each name is keyed
                                          "DIR/name" (DIR as given)
  crash_check.py survived BEFORE AFTER    exit 1, naming the damage, when a database,
                                          a table, a column or a row of BEFORE is
                                          missing from AFTER or AFTER fails SQLite's
                                          integrity check
  crash_check.py same A B                 exit 1 when the dumps differ
"""
import json, os, sqlite3, sys

# Indexes, relations and stored queries are left out of "survived": the
# chains drop and re-create them, so a kill between the two leaves them out
# until the rerun.
REPLACED = {"MSysIndexes", "MSysRelationships", "MSysQueries"}


def dump_database(path):
    db = sqlite3.connect(path)
    db.text_factory = bytes
    entry = {"integrity": db.execute("PRAGMA integrity_check").fetchone()[0].decode(),
             "tables": {}, "schema": []}
    for kind, obj, sql in db.execute(
            "SELECT type, name, sql FROM sqlite_master ORDER BY type, name"):
        obj = obj.decode()
        entry["schema"].append([kind.decode(), obj, (sql or b"").decode()])
        if kind == b"table":
            cols = [r[1].decode() for r in db.execute(
                'PRAGMA table_info("%s")' % obj.replace('"', '""'))]
            rows = db.execute('SELECT * FROM "%s"' % obj.replace('"', '""')).fetchall()
            entry["tables"][obj] = {"columns": cols, "rows": sorted(repr(r) for r in rows)}
    db.close()
    return entry


def dump(directories):
    out = {}
    for directory in directories:
        for name in sorted(os.listdir(directory)):
            path = os.path.join(directory, name)
            if not name.endswith(".mdb") or not os.path.isfile(path):
                continue
            key = name if len(directories) == 1 else directory + "/" + name
            out[key] = dump_database(path)
    return out


def survived(before, after):
    problems = []
    for name, was in before.items():
        now = after.get(name)
        if now is None:
            problems.append(f"{name}: missing")
            continue
        if now["integrity"] != "ok":
            problems.append(f"{name}: integrity check: {now['integrity']}")
        for table, t in was["tables"].items():
            if table in REPLACED:
                continue
            n = now["tables"].get(table)
            if n is None:
                problems.append(f"{name}: table {table} lost")
                continue
            lost = [c for c in t["columns"] if c not in n["columns"]]
            if lost:
                problems.append(f"{name}: {table}: columns lost: {lost}")
                continue
            # Rows projected on the columns they had before.
            idx = [n["columns"].index(c) for c in t["columns"]]
            have = {}
            for r in n["rows"]:
                v = repr(tuple(eval(r)[i] for i in idx))
                have[v] = have.get(v, 0) + 1
            for r in t["rows"]:
                key = repr(tuple(eval(r)))
                if have.get(key, 0) == 0:
                    problems.append(f"{name}: {table}: row lost: {r[:120]}")
                    break
                have[key] -= 1
    return problems


def main(argv):
    mode = argv[1]
    if mode == "dump":
        json.dump(dump(argv[3:]), open(argv[2], "w"))
        return 0
    if mode == "survived":
        problems = survived(json.load(open(argv[2])), json.load(open(argv[3])))
        if problems:
            print("\n".join(problems))
        return 1 if problems else 0
    if mode == "same":
        a, b = json.load(open(argv[2])), json.load(open(argv[3]))
        diff = [n for n in sorted(set(a) | set(b)) if a.get(n) != b.get(n)]
        if diff:
            print("differ from an uninterrupted run: " + ", ".join(diff))
        return 1 if diff else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
