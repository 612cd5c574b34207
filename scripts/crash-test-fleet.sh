#!/usr/bin/env bash
# Kills `actualiz-cli fleet` at random moments and checks, after each kill,
# every customer database of every location as scripts/crash-test.sh checks
# a batch's: nothing damaged, nothing lost. After every second kill the run
# is resumed (`--resume`) to its end, and every location must then equal
# what one uninterrupted single batch per location gives, the fleet's report
# must list every location as done, and its state file must be whole.
#
# Usage: scripts/crash-test-fleet.sh KILLS CLI
#   CRASH_TEST_SEED=N fixes the random moments (default: the process id).
#
# The fleet is three copies of the demo drive (norte, este, sur), each its
# own location with its own drive map, run two at a time. Every other kill
# continues from the state the previous kill left with `--resume`, so
# resumed runs are killed too.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:?usage: crash-test-fleet.sh KILLS CLI}
cli=${2:?usage: crash-test-fleet.sh KILLS CLI}
RANDOM=${CRASH_TEST_SEED:-$$}
locations=(norte este sur)
for tool in python3 "$cli"; do
  command -v "$tool" >/dev/null || { echo "crash-test: $tool is missing" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The fleet's private catalogues go here, so that what killed runs leave
# behind is seen and swept with the rest.
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"

data_dirs() {  # the data directories of the fleet laid out in $1
  local name
  for name in "${locations[@]}"; do echo "$1/$name/c/datos"; done
}
dump() {  # dump ROOT OUT: every location's databases
  local dirs
  mapfile -t dirs < <(data_dirs "$1")
  (cd "$1" && python3 "$here/scripts/crash_check.py" dump "$2" "${dirs[@]#"$1/"}")
}
check() { python3 "$here/scripts/crash_check.py" "$@"; }
fleet() {  # fleet ROOT [OPTION...]: the command line of a fleet run, into `args`
  local root=$1
  shift
  args=(fleet "$root/fleet.json" --jobs 2 --no-backup "$@")
}

mkdir -p "$work/base"
entries=()
for name in "${locations[@]}"; do
  "$cli" demo --into "$work/base/$name" --from "$here/demo" >/dev/null
  entries+=("{\"name\": \"$name\", \"data\": \"c:\\\\datos\", \"drive\": {\"c\": \"$name/c\"},
             \"program-dir\": \"c:\\\\prog\"}")
done
(IFS=,; echo "{\"locations\": [${entries[*]}]}") >"$work/base/fleet.json"
dump "$work/base" "$work/base.json"

# The reference: one uninterrupted single batch per location. The kills fall
# within the shortest of three uninterrupted fleet runs.
rm -rf "$work/reference"
cp -a "$work/base" "$work/reference"
for name in "${locations[@]}"; do
  "$cli" --drive "c=$work/reference/$name/c" --program-dir 'c:\prog' \
    batch --data 'c:\datos' --no-backup >/dev/null 2>&1 || true
done
dump "$work/reference" "$work/reference.json"
duration_ms=
for n in 1 2 3; do
  rm -rf "$work/timed"
  cp -a "$work/base" "$work/timed"
  fleet "$work/timed"
  start=$(date +%s%N)
  "$cli" "${args[@]}" >/dev/null 2>&1 || true
  took=$((($(date +%s%N) - start) / 1000000))
  [[ -z $duration_ms || $took -lt $duration_ms ]] && duration_ms=$took
done
dump "$work/timed" "$work/timed.json"
check same "$work/reference.json" "$work/timed.json" ||
  { echo "crash-test: an uninterrupted fleet run differs from single batches" >&2; exit 1; }

failed=0 finished=0
fail() {  # fail KILL MESSAGE: keep the state for a look, count the failure
  echo "kill $1 at ${delay_ms}ms: $2 (state kept in $work/failed-$1)" >&2
  cp -a "$work/run" "$work/failed-$1"
  failed=$((failed + 1))
  trap - EXIT
}
for ((i = 1; i <= kills; i++)); do
  if ((i % 2 == 1)); then
    rm -rf "$work/run"
    cp -a "$work/base" "$work/run"
    cp "$work/base.json" "$work/before.json"
    fleet "$work/run"
  else
    fleet "$work/run" --resume
  fi
  delay_ms=$((RANDOM % (duration_ms + 1)))
  "$cli" "${args[@]}" >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  if kill -9 "$pid" 2>/dev/null; then :; else finished=$((finished + 1)); fi
  wait "$pid" 2>/dev/null || true
  dump "$work/run" "$work/after.json"
  if ! check survived "$work/before.json" "$work/after.json"; then
    fail "$i" damage
    continue
  fi
  state=$work/run/fleet.json.state
  # Whole: every line a location's outcome, the last one ended too.
  if [[ -e $state ]] && ! python3 -c '
import json, sys
text = open(sys.argv[1]).read()
assert text == "" or text.endswith("\n")
for line in text.splitlines():
    json.loads(line)' "$state" 2>/dev/null; then
    fail "$i" "the state file is not whole"
    continue
  fi
  cp "$work/after.json" "$work/before.json"
  if ((i % 2 == 1)); then continue; fi
  fleet "$work/run" --resume --json "$work/report.json"
  "$cli" "${args[@]}" >/dev/null 2>&1 || true
  dump "$work/run" "$work/rerun.json"
  leftovers=$(find "$work/run" -path '*/c/datos/.*.mdb.copy-*' -print)
  if ! check same "$work/reference.json" "$work/rerun.json" || [[ -n $leftovers ]]; then
    fail "$i" "the resumed run did not reach the single batches' state${leftovers:+ (copy leftovers: $leftovers)}"
    continue
  fi
  if ! python3 - "$work/report.json" "${locations[@]}" <<'PY'; then
import json, sys
report = json.load(open(sys.argv[1]))
states = {l["name"]: l["state"] for l in report["locations"]}
sys.exit(0 if states == {name: "done" for name in sys.argv[2:]} else 1)
PY
    fail "$i" "the resumed run's report does not list every location as done"
    continue
  fi
done
swept=$(find "$TMPDIR" -mindepth 1 -maxdepth 1 -name 'actualiz-fleet-*' | wc -l)
echo "fleet crash test: $kills kills (fleet ${duration_ms}ms; $finished ended before the kill)," \
  "$failed with damage; $swept private catalogue folders left by killed runs"
((failed == 0))
