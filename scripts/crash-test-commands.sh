#!/usr/bin/env bash
# Kills `import`, `import --all`, `migrate`, `init` and `restore` at random
# moments and checks, after each kill, that nothing was lost and nothing
# half-made stands under a database's name, and after every second kill that
# a rerun ends in the state an uninterrupted run gives, with no hidden
# temporary left behind.
#
# Usage: scripts/crash-test-commands.sh KILLS CLI   (KILLS for each command)
#   CRASH_TEST_SEED=N fixes the random moments (default: the process id).
#   CRASH_TEST_COMMANDS="import import-all migrate init restore" picks some.
#
# Every other kill continues from the state the previous kill left, so reruns
# are killed too. After a kill, depending on the command:
#   import, init    every file is as before the run or as an uninterrupted
#                   run leaves it (a hidden temporary aside);
#   import --all    every original is still under its name or its .mdb name,
#                   and its bytes are in the directory or in the backups;
#   migrate         every table, column and row is still there;
#   restore         every database is as before the restore or as restored.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:?usage: crash-test-commands.sh KILLS CLI}
cli=${2:?usage: crash-test-commands.sh KILLS CLI}
RANDOM=${CRASH_TEST_SEED:-$$}
commands=${CRASH_TEST_COMMANDS:-import import-all migrate init restore}
samples=$here/../shared/jet-samples
for tool in python3 "$cli"; do
  command -v "$tool" >/dev/null || { echo "crash-test: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
exec {sleeper}<> <(:)

# Snapshots a directory tree (every file: SQLite ones by schema, rows and
# integrity, others by their bytes), and checks snapshots against each other.
check() {
  python3 - "$@" <<'PY'
import hashlib, json, os, sqlite3, sys

def sqlite_dump(path):
    db = sqlite3.connect(path)
    db.text_factory = bytes
    entry = {"integrity": db.execute("PRAGMA integrity_check").fetchone()[0].decode(),
             "schema": [], "tables": {}}
    for kind, obj, sql in db.execute(
            "SELECT type, name, sql FROM sqlite_master ORDER BY type, name"):
        obj = obj.decode()
        entry["schema"].append([kind.decode(), obj, (sql or b"").decode()])
        if kind == b"table":
            q = obj.replace('"', '""')
            cols = [r[1].decode() for r in db.execute('PRAGMA table_info("%s")' % q)]
            rows = db.execute('SELECT * FROM "%s"' % q).fetchall()
            entry["tables"][obj] = {"columns": cols, "rows": sorted(repr(r) for r in rows)}
    db.close()
    return entry

def snapshot(root):
    out = {}
    for directory, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            # A journal is rolled back and removed by whoever next opens its
            # database, this snapshot included: its database stands for it.
            if name.endswith("-journal"):
                continue
            # A run lock file holds no data: a killed holder leaves it, and
            # the next run that takes the lock removes it.
            if name == ".actualiz.lock":
                continue
            path = os.path.join(directory, name)
            rel = os.path.relpath(path, root)
            data = open(path, "rb").read()
            if data.startswith(b"SQLite format 3\0"):
                try:
                    out[rel] = sqlite_dump(path)
                except sqlite3.Error as e:
                    out[rel] = {"unreadable": str(e)}
            else:
                out[rel] = {"sha256": hashlib.sha256(data).hexdigest()}
    return out

def temporary(rel):
    return os.path.basename(rel).startswith(".") and ".copy-" in rel

def load(path):
    return json.load(open(path))

mode = sys.argv[1]
if mode == "snapshot":
    json.dump(snapshot(sys.argv[2]), open(sys.argv[3], "w"))
elif mode == "either":  # BEFORE REFERENCE AFTER: each file as one or the other
    before, ref, after = (load(p) for p in sys.argv[2:5])
    bad = [r for r in sorted(set(before) | set(ref) | set(after))
           if not temporary(r) and after.get(r) not in (before.get(r), ref.get(r))]
    if bad:
        print("neither as before nor as an uninterrupted run: " + ", ".join(bad))
    sys.exit(1 if bad else 0)
elif mode == "findable":  # ORIGINALS AFTER: import --all kept every original
    originals, after = load(sys.argv[2]), load(sys.argv[3])
    bad = []
    for rel, was in originals.items():
        stem = os.path.splitext(rel)[0]
        if rel not in after and stem + ".mdb" not in after:
            bad.append(rel + ": missing from the directory")
        kept = [r for r, v in after.items()
                if v == was and (r == rel or r.startswith(".actualiz-backups/"))]
        if not kept:
            bad.append(rel + ": original lost")
    if bad:
        print("; ".join(bad))
    sys.exit(1 if bad else 0)
elif mode == "survived":  # BEFORE AFTER: no table, column or row lost
    before, after = load(sys.argv[2]), load(sys.argv[3])
    bad = []
    for rel, was in before.items():
        now = after.get(rel)
        if now is None or "tables" not in now:
            bad.append(rel + ": missing or unreadable")
            continue
        if now["integrity"] != "ok":
            bad.append(rel + ": integrity: " + now["integrity"])
        for table, t in was.get("tables", {}).items():
            n = now["tables"].get(table)
            if n is None or any(c not in n["columns"] for c in t["columns"]):
                bad.append(rel + ": " + table + " or its columns lost")
            elif len(n["rows"]) < len(t["rows"]):
                bad.append(rel + ": " + table + ": rows lost")
    if bad:
        print("; ".join(bad))
    sys.exit(1 if bad else 0)
elif mode == "same":  # REFERENCE AFTER
    a, b = load(sys.argv[2]), load(sys.argv[3])
    diff = [n for n in sorted(set(a) | set(b)) if a.get(n) != b.get(n)]
    if diff:
        print("differ from an uninterrupted run: " + ", ".join(diff))
    sys.exit(1 if diff else 0)
PY
}

# Each command: NAME_setup DIR lays out its start; NAME_args DIR fills the
# array `args`; NAME_root DIR is the tree it checks; NAME_killed BEFORE REF
# AFTER checks a killed run's state; NAME_rerun DIR runs it again to its end.
demo_base=$work/demo
"$cli" demo --into "$demo_base" --from "$here/demo" >/dev/null

import_setup() { mkdir -p "$1/out"; }
import_args() { args=(import "$samples/indexTestV2003.mdb" "$1/out/convertido.mdb"); }
import_root() { echo "$1/out"; }
import_killed() { check either "$@"; }
import_rerun() { import_args "$1"; "$cli" "${args[@]}" >/dev/null 2>&1 || true; }

import-all_setup() {
  mkdir -p "$1/modelos"
  cp "$samples/indexTestV2003.mdb" "$1/modelos/indices.mdb"
  cp "$samples/testV2007.accdb" "$1/modelos/prueba.accdb"
  cp "$samples/queryTestV2003.mdb" "$1/modelos/consultas.mdb"
}
import-all_args() { args=(import --all "$1/modelos"); }
import-all_root() { echo "$1/modelos"; }
import-all_killed() { check findable "$1" "$3"; }
import-all_rerun() { import-all_args "$1"; "$cli" "${args[@]}" >/dev/null 2>&1 || true; }

table_of() { if ((((i + 1) / 2) % 2)); then echo pomerd; else echo histoprod; fi; }
migrate_setup() { cp -a "$demo_base" "$1/demo"; }
migrate_args() {
  args=(--drive "c=$1/demo/c" migrate "$(table_of)" --data 'c:\datos')
}
migrate_root() { echo "$1/demo/c/datos"; }
migrate_killed() { check survived "$1" "$3"; }
migrate_rerun() { migrate_args "$1"; "$cli" "${args[@]}" >/dev/null 2>&1 || true; }

init_setup() { mkdir -p "$1/c"; }
init_args() { args=(--drive "c=$1/c" init); }
init_root() { echo "$1/c"; }
init_killed() { check either "$@"; }
init_rerun() { init_args "$1"; "$cli" "${args[@]}" >/dev/null 2>&1 || true; }

# The restore puts back what one batch run with backups changed.
restore_base=$work/restored
cp -a "$demo_base" "$restore_base"
"$cli" --drive "c=$restore_base/c" --program-dir "$restore_base/c/prog" batch --data 'c:\datos' \
  >/dev/null 2>&1 || true
restore_setup() { cp -a "$restore_base" "$1/demo"; }
restore_folder() { find "$1/demo/c/datos/.actualiz-backups" -mindepth 1 -maxdepth 1 -type d; }
restore_args() { args=(restore "$(restore_folder "$1")" --yes); }
restore_root() { echo "$1/demo/c/datos"; }
restore_killed() { check either "$@"; }
restore_rerun() {
  # A rerun may find databases the kill left changed, which a restore that
  # guards against overwriting changes asks --force to replace.
  restore_args "$1"
  "$cli" "${args[@]}" </dev/null >/dev/null 2>&1 ||
    "$cli" "${args[@]}" --force </dev/null >/dev/null 2>&1 || true
}

failed=0 summary=
for name in $commands; do
  if [[ $name == import* && ! -d $samples ]]; then
    echo "crash test: $name skipped (no Access samples in $samples)"
    continue
  fi
  # The reference: the shortest of three uninterrupted runs, and its result.
  duration_ms=
  for n in 1 2 3; do
    rm -rf "$work/reference" && mkdir -p "$work/reference"
    "${name}_setup" "$work/reference"
    i=0
    "${name}_args" "$work/reference"
    start=$(date +%s%N)
    "$cli" "${args[@]}" </dev/null >/dev/null 2>&1 || true
    took=$((($(date +%s%N) - start) / 1000000))
    [[ -z $duration_ms || $took -lt $duration_ms ]] && duration_ms=$took
  done
  rm -rf "$work/base" && mkdir -p "$work/base"
  "${name}_setup" "$work/base"
  check snapshot "$("${name}_root" "$work/base")" "$work/base.json"
  # migrate runs two tables, one reference each.
  for i in 0 2; do
    rm -rf "$work/ref-$i" && cp -a "$work/base" "$work/ref-$i"
    "${name}_args" "$work/ref-$i"
    "$cli" "${args[@]}" </dev/null >/dev/null 2>&1 || true
    check snapshot "$("${name}_root" "$work/ref-$i")" "$work/ref-$i.json"
  done

  mid=0 bad=0
  for ((i = 1; i <= kills; i++)); do
    if ((i % 2 == 1)); then
      rm -rf "$work/run" && cp -a "$work/base" "$work/run"
      cp "$work/base.json" "$work/before.json"
    fi
    ref=$work/ref-$(((((i + 1) / 2) % 2) * 2)).json
    [[ $name == migrate ]] || ref=$work/ref-0.json
    delay_ms=$((RANDOM % (duration_ms + 1)))
    "${name}_args" "$work/run"
    printf -v delay '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000))
    "$cli" "${args[@]}" </dev/null >/dev/null 2>&1 &
    pid=$!
    # A read that times out waits without starting a process: these
    # commands take a few tens of milliseconds, about what starting
    # `sleep` costs on a busy machine.
    read -r -t "$delay" -u "$sleeper" || true
    if kill -9 "$pid" 2>/dev/null; then mid=$((mid + 1)); fi
    wait "$pid" 2>/dev/null || true
    root=$("${name}_root" "$work/run")
    check snapshot "$root" "$work/after.json"
    if ! "${name}_killed" "$work/before.json" "$ref" "$work/after.json"; then
      echo "$name: kill $i at ${delay_ms}ms: damage (state kept in $work/failed-$name-$i)" >&2
      cp -a "$work/run" "$work/failed-$name-$i"
      bad=$((bad + 1))
      trap - EXIT
      continue
    fi
    if ((i % 2 == 1)); then continue; fi
    "${name}_rerun" "$work/run"
    check snapshot "$root" "$work/rerun.json"
    if ! check same "$ref" "$work/rerun.json"; then
      echo "$name: kill $i at ${delay_ms}ms: the rerun did not reach an uninterrupted" \
        "run's state (kept in $work/failed-$name-$i)" >&2
      cp -a "$work/run" "$work/failed-$name-$i"
      bad=$((bad + 1))
      trap - EXIT
    fi
  done
  summary+="$name $kills kills ($mid mid-run, run ${duration_ms}ms), $bad with damage; "
  failed=$((failed + bad))
done
echo "crash test: ${summary%; }"
((failed == 0))
