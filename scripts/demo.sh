#!/usr/bin/env bash
# Builds the project, lays out a demo drive (catalogues, models beside a
# program directory, customer databases of several shapes, the sample
# database) in out/demo, and runs the batch update on it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
"$here/scripts/build.sh" "$build" -DACTUALIZ_TESTS=OFF
demo=$here/out/demo
rm -rf "$demo"
cli=$build/actualiz-cli
"$cli" demo --into "$demo" --from "$here/demo"
"$cli" --drive "c=$demo/c" --program-dir "$demo/c/prog" batch --data 'c:\datos' --json "$demo/report.json"
