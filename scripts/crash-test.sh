#!/usr/bin/env bash
# Kills `actualiz-cli batch` at random moments and checks, after each kill,
# that no customer database was damaged or lost anything, and that a rerun of
# the batch brings every database to the same state as an uninterrupted run.
#
# Usage: scripts/crash-test.sh [--commands] [--fleet] [KILLS [CLI]]
#   (defaults: 200, build/actualiz-cli, built first)
#   CRASH_TEST_SEED=N fixes the random moments (default: the process id).
#   --commands then kills import, import --all, migrate, init and restore
#   KILLS times each too (scripts/crash-test-commands.sh).
#   --fleet then kills a fleet run of three locations KILLS times too, and
#   resumes it (scripts/crash-test-fleet.sh).
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
with_commands= with_fleet=
while [[ ${1:-} == --* ]]; do
  case $1 in
    --commands) with_commands=1 ;;
    --fleet) with_fleet=1 ;;
    *) echo "usage: crash-test.sh [--commands] [--fleet] [KILLS [CLI]]" >&2; exit 2 ;;
  esac
  shift
done
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

# Dumps, or compares dumps of, the databases of a data directory
# (scripts/crash_check.py).
check() {
  local mode=$1 dir=$2 out=$3
  if [[ $mode == dump ]]; then
    python3 "$here/scripts/crash_check.py" dump "$out" "$dir"
  else
    python3 "$here/scripts/crash_check.py" "$@"
  fi
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
if [[ -n $with_fleet ]]; then
  "$here/scripts/crash-test-fleet.sh" "$kills" "$cli" || failed=$((failed + 1))
fi
((failed == 0))
