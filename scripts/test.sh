#!/usr/bin/env bash
# Builds the project and runs the whole test suite (ctest).
# Usage: scripts/test.sh [BUILD_DIR [cmake options...]]   (default build dir: build-test)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-test}
[[ $# -gt 0 ]] && shift
"$here/scripts/build.sh" "$build" "$@"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
