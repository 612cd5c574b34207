#!/usr/bin/env bash
# Kills `actualiz-cli batch` over real Access customer databases at random
# moments and checks that every Access file is, after each kill, either the
# file as it was (byte for byte) or the file as an uninterrupted run leaves
# it (the same tables, fields and rows; the catalogue's creation dates of a
# new table differ from run to run), never anything else; a rerun then
# brings each to the changed file, with no copy leftover beside it.
#
# Usage: scripts/crash-test-access.sh [KILLS [CLI]]
#   (defaults: 100, build/actualiz-cli, built first)
#   CRASH_TEST_SEED=N fixes the random moments (default: the process id).
#
# The customers are copies of a Jet 4 and an ACE sample
# (../shared/jet-samples); their models add a table, fields of several
# types (a Text field with its AllowZeroLength among them) to two tables,
# and a relation (refused, so each run also reports a refusal).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:-100}
if [[ -n ${2:-} ]]; then
  cli=$2
else
  "$here/scripts/build.sh" "$here/build" >/dev/null
  cli=$here/build/actualiz-cli
fi
RANDOM=${CRASH_TEST_SEED:-$$}
samples=$here/../shared/jet-samples
[[ -d $samples ]] || { echo "crash-test-access: no Access samples at $samples" >&2; exit 2; }
for tool in python3 sha256sum mdb-schema "$cli"; do
  command -v "$tool" >/dev/null || { echo "crash-test-access: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The site: customers tienda.mdb (Jet 4) and almacen.mdb (ACE), their models.
base=$work/base
mkdir -p "$base/c/datos" "$base/c/prog/modelos"
install -m 644 "$samples/testV2003.mdb" "$base/c/datos/tienda.mdb"
install -m 644 "$samples/testV2007.accdb" "$base/c/datos/almacen.mdb"
for name in tienda almacen; do
  "$cli" describe "$base/c/datos/$name.mdb" >"$work/$name.json"
  python3 - "$work/$name.json" <<'PY'
import json, sys
path = sys.argv[1]
model = json.load(open(path))
users = [t for t in model["tables"] if not t["name"].startswith("MSys")][:2]
for n, table in enumerate(users):
    table["fields"] += [
        {"name": f"Cantidad{n}", "type": 4, "size": 4},
        {"name": f"Activo{n}", "type": 1, "size": 1},
        {"name": f"Precio{n}", "type": 7, "size": 8},
        {"name": f"Alta{n}", "type": 8, "size": 8},
        {"name": f"Nombre{n}", "type": 10, "size": 40},
    ]
model["tables"].append({"name": "Nueva", "indexes": [],
                        "fields": [{"name": "Id", "type": 4, "size": 4},
                                   {"name": "Nombre", "type": 10, "size": 40},
                                   {"name": "Alta", "type": 8, "size": 8}]})
first = users[0]
model["relations"].append({"name": "RefusedRelation", "table": first["name"],
                           "foreignTable": users[1]["name"], "attributes": 2,
                           "fields": [{"name": first["fields"][0]["name"],
                                       "foreignName": users[1]["fields"][0]["name"]}]})
json.dump(model, open(path, "w"))
PY
  "$cli" create "$base/c/prog/modelos/$name.mdb" --from "$work/$name.json" >/dev/null
done
"$cli" --drive "c=$base/c" init >/dev/null

batch_args() {  # the batch over DIR's data directory, into the array `args`
  args=(--drive "c=$1/c" --program-dir "$1/c/prog" batch --data 'c:\datos' --no-backup)
}
digest() {  # FILE: its SHA-256
  sha256sum "$1" | cut -d' ' -f1
}
described() {  # FILE: its tables, fields and rows as the engine reads them
  "$cli" describe --rows "$1" 2>&1
}
leftovers() {  # DIR: the copies a killed run left beside the customers
  find "$1/c/datos" -maxdepth 1 -name '.*' -type f -print
}

for name in tienda almacen; do
  digest "$base/c/datos/$name.mdb" >"$work/$name.original"
done
duration_ms=
for n in 1 2 3; do
  rm -rf "$work/reference"
  cp -a "$base" "$work/reference"
  batch_args "$work/reference"
  start=$(date +%s%N)
  "$cli" "${args[@]}" >"$work/reference.out" 2>&1 || true
  took=$((($(date +%s%N) - start) / 1000000))
  [[ -z $duration_ms || $took -lt $duration_ms ]] && duration_ms=$took
done
[[ -n ${CRASH_TEST_VERBOSE:-} ]] && cat "$work/reference.out"
for name in tienda almacen; do
  described "$work/reference/c/datos/$name.mdb" >"$work/$name.changed"
  if [[ $(digest "$work/reference/c/datos/$name.mdb") == $(cat "$work/$name.original") ]]; then
    echo "crash-test-access: an uninterrupted run left $name.mdb as it was:" >&2
    cat "$work/reference.out" >&2
    exit 1
  fi
done

# What a customer of DIR is: "original", "changed" or "other".
state() {
  local file=$1/c/datos/$2.mdb
  if [[ $(digest "$file") == $(cat "$work/$2.original") ]]; then
    echo original
  elif cmp -s <(described "$file") "$work/$2.changed" && mdb-tables "$file" >/dev/null 2>&1; then
    echo changed
  else
    echo other
  fi
}
whole() {  # DIR: every customer is the original or the changed file
  local name ok=0
  for name in tienda almacen; do
    if [[ $(state "$1" "$name") == other ]]; then
      echo "$name.mdb is neither the original nor the changed file" >&2
      ok=1
    fi
  done
  return $ok
}
changed() {  # DIR: every customer is the changed file
  [[ $(state "$1" tienda) == changed && $(state "$1" almacen) == changed ]]
}

failed=0 finished=0
for ((i = 1; i <= kills; i++)); do
  if ((i % 2 == 1)); then
    rm -rf "$work/run"
    cp -a "$base" "$work/run"
  fi
  delay_ms=$((RANDOM % (duration_ms + 1)))
  batch_args "$work/run"
  "$cli" "${args[@]}" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  if kill -9 "$pid" 2>/dev/null; then :; else finished=$((finished + 1)); fi
  wait "$pid" 2>/dev/null || true
  if ! whole "$work/run"; then
    echo "kill $i at ${delay_ms}ms: damage (state kept in $work/failed-$i)" >&2
    cp -a "$work/run" "$work/failed-$i"
    failed=$((failed + 1))
    trap - EXIT
    continue
  fi
  if ((i % 2 == 1)); then continue; fi
  batch_args "$work/run"
  "$cli" "${args[@]}" >/dev/null 2>&1 || true
  if ! changed "$work/run" || [[ -n $(leftovers "$work/run") ]]; then
    echo "kill $i at ${delay_ms}ms: the rerun did not reach the changed files" \
      "(leftovers: $(leftovers "$work/run" | tr '\n' ' '))" >&2
    cp -a "$work/run" "$work/failed-$i"
    failed=$((failed + 1))
    trap - EXIT
  fi
done
echo "crash test (Access files): $kills kills (batch ${duration_ms}ms; $finished ended" \
  "before the kill), $failed with damage"
((failed == 0))
