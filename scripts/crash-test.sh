#!/usr/bin/env bash
# Kills `actualiz-cli batch` at random moments and checks, after each kill,
# that no customer database was damaged or lost anything, and that a rerun of
# the batch brings every database to the same state as an uninterrupted run.
#
# Usage: scripts/crash-test.sh [--commands] [KILLS [CLI]]
#   (defaults: 200, build/actualiz-cli, built first)
#   CRASH_TEST_SEED=N fixes the random moments (default: the process id).
#   --commands then kills import, import --all, migrate, init and restore
#   KILLS times each too (scripts/crash-test-commands.sh).
#
# The data directory is the demo's: an up-to-date database, two that lack
# tables, fields, indexes, relations and queries, one without a model, and a
# model without a database (copied in). Every other kill continues from the
# state the previous kill left, so reruns are killed too.
#
# After each kill, for every database that was there before:
#   - SQLite's integrity check says "ok";
#   - every table and column is still there, and every row (as it was, in
#     the columns it had) is still there, the engine's field catalogue
#     included;
# indexes, relations and stored queries are left out of that check: the
# chains drop and re-create them, so a kill between the two leaves them out
# until the rerun. Then the batch is rerun to its end, and every database
# must equal (schema, rows, catalogues) what one uninterrupted run gives,
# with no hidden temporary of a killed copy left in the data directory.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
with_commands=
if [[ ${1:-} == --commands ]]; then
  with_commands=1
  shift
fi
kills=${1:-200}
if [[ -n ${2:-} ]]; then
  cli=$2
else
  # No CLI named: build the default one (installing what it needs).
  "$here/scripts/build.sh" "$here/build" >/dev/null
  cli=$here/build/actualiz-cli
fi
RANDOM=${CRASH_TEST_SEED:-$$}
for tool in python3 sqlite3 "$cli"; do
  command -v "$tool" >/dev/null || { echo "crash-test: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Dumps, or compares dumps of, every *.mdb of a directory.
check() {
  python3 - "$@" <<'PY'
import json, os, sqlite3, sys

REPLACED = {"MSysIndexes", "MSysRelationships", "MSysQueries"}

def dump(directory):
    out = {}
    for name in sorted(os.listdir(directory)):
        path = os.path.join(directory, name)
        if not name.endswith(".mdb") or not os.path.isfile(path):
            continue
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
                entry["tables"][obj] = {"columns": cols,
                                        "rows": sorted(repr(r) for r in rows)}
        db.close()
        out[name] = entry
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

mode = sys.argv[1]
if mode == "dump":
    json.dump(dump(sys.argv[2]), open(sys.argv[3], "w"))
elif mode == "survived":
    problems = survived(json.load(open(sys.argv[2])), json.load(open(sys.argv[3])))
    if problems:
        print("\n".join(problems))
    sys.exit(1 if problems else 0)
elif mode == "same":
    a, b = json.load(open(sys.argv[2])), json.load(open(sys.argv[3]))
    diff = [n for n in sorted(set(a) | set(b)) if a.get(n) != b.get(n)]
    if diff:
        print("differ from an uninterrupted run: " + ", ".join(diff))
    sys.exit(1 if diff else 0)
PY
}

batch_args() {  # the batch over DIR's demo data directory, into the array `args`
  args=(--drive "c=$1/c" --program-dir "$1/c/prog" batch --data 'c:\datos' --no-backup)
}
batch() {  # batch DIR, report discarded
  local args
  batch_args "$1"
  "$cli" "${args[@]}" >/dev/null 2>&1
}

"$cli" demo --into "$work/base" --from "$here/demo" >/dev/null
check dump "$work/base/c/datos" "$work/base.json"
# The kills fall within the shortest of three uninterrupted runs.
duration_ms=
for n in 1 2 3; do
  rm -rf "$work/reference"
  cp -a "$work/base" "$work/reference"
  start=$(date +%s%N)
  batch "$work/reference" || true
  took=$((($(date +%s%N) - start) / 1000000))
  [[ -z $duration_ms || $took -lt $duration_ms ]] && duration_ms=$took
done
check dump "$work/reference/c/datos" "$work/reference.json"

survived=0 finished=0 failed=0
for ((i = 1; i <= kills; i++)); do
  if ((i % 2 == 1)); then
    rm -rf "$work/run"
    cp -a "$work/base" "$work/run"
    cp "$work/base.json" "$work/before.json"
  fi
  delay_ms=$((RANDOM % (duration_ms + 1)))
  # The program itself is started in the background, not a shell function
  # (which would run in a subshell): $! must be the batch's own process, or
  # the kill would end only the subshell and leave the batch running on
  # beside the checks and the rerun.
  batch_args "$work/run"
  "$cli" "${args[@]}" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  if kill -9 "$pid" 2>/dev/null; then :; else finished=$((finished + 1)); fi
  wait "$pid" 2>/dev/null || true
  check dump "$work/run/c/datos" "$work/after.json"
  if ! check survived "$work/before.json" "$work/after.json"; then
    echo "kill $i at ${delay_ms}ms: damage (state kept in $work/failed-$i)" >&2
    cp -a "$work/run" "$work/failed-$i"
    failed=$((failed + 1))
    trap - EXIT
    continue
  fi
  cp "$work/after.json" "$work/before.json"
  # Every other kill, the state it left is what the next kill starts from.
  if ((i % 2 == 1)); then continue; fi
  batch "$work/run" || true
  check dump "$work/run/c/datos" "$work/rerun.json"
  leftovers=$(find "$work/run/c/datos" -maxdepth 1 -name '.*.mdb.copy-*' -print)
  if ! check same "$work/reference.json" "$work/rerun.json" || [[ -n $leftovers ]]; then
    echo "kill $i at ${delay_ms}ms: the rerun did not reach the model's state" \
      "${leftovers:+(copy leftovers remain: $leftovers)}" >&2
    cp -a "$work/run" "$work/failed-$i"
    failed=$((failed + 1))
    trap - EXIT
    continue
  fi
  survived=$((survived + 1))
done
echo "crash test: $kills kills (batch ${duration_ms}ms; $finished ended before the kill)," \
  "$failed with damage"
if [[ -n $with_commands ]]; then
  "$here/scripts/crash-test-commands.sh" "$kills" "$cli" || failed=$((failed + 1))
fi
((failed == 0))
