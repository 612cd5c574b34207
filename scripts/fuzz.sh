#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan on) and
# runs each for SECONDS (default 60) on its corpus from fuzz/corpus.
# Usage: scripts/fuzz.sh [SECONDS [TARGET...]]   targets: description open_database record_source
#   FUZZ_MERGE=1 scripts/fuzz.sh 3600   also merges the new inputs back into fuzz/corpus
#   FUZZ_TIMEOUT=60 scripts/fuzz.sh ...  seconds one input may take (default 10); the
#     limit is wall clock, so raise it on a machine busy with other work
# A crash stops the run with status 1; its input is kept in out/fuzz/<target>/
# (turn it into a test before fixing it).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[[ $# -gt 0 ]] && shift
targets=("$@")
((${#targets[@]})) || targets=(description open_database record_source)

"$here/scripts/install-deps.sh" fuzz
build=$here/build-fuzz
CXX=${CXX:-clang++-14} cmake -S "$here" -B "$build" -G Ninja -DACTUALIZ_GUI=OFF \
  -DACTUALIZ_TESTS=OFF -DACTUALIZ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/%/_fuzz}"

status=0
for target in "${targets[@]}"; do
  work=$here/out/fuzz/$target
  mkdir -p "$work/corpus"
  echo "== fuzzing $target for ${seconds}s"
  # New inputs go to a scratch corpus; the kept corpus is only read.
  if ! (cd "$work" && "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=16384 \
    -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=4096 -print_final_stats=1 "$work/corpus" \
    "$here/fuzz/corpus/$target" 2>&1 | tee "$work/last-run.log" | grep -E \
    '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)|crash-|timeout-|leak-'); then
    :
  fi
  if grep -qE '==[0-9]+==ERROR|^SUMMARY|deadly signal|Test unit written' "$work/last-run.log"; then
    echo "$target: a fault was found; see $work/last-run.log and the crash-* file in $work" >&2
    status=1
  elif [[ ${FUZZ_MERGE:-0} == 1 ]]; then
    "$build/fuzz/${target}_fuzz" -merge=1 -max_len=16384 "$here/fuzz/corpus/$target" \
      "$work/corpus" >/dev/null 2>&1
  fi
done
exit $status
