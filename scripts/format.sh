#!/usr/bin/env bash
# Formats every C++ file of the project with the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' | xargs clang-format -i
