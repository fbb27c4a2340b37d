#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build.sh"
ctest --test-dir "$root/build" --output-on-failure -j2 "$@"
