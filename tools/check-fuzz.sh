#!/usr/bin/env bash
# Fuzzes the command-line parser and the camera file's parser with libFuzzer
# (clang, with the address and undefined-behaviour sanitizers), each for a
# bounded time, starting from the seeds in tests/fuzz/corpus/<target>/.
#   tools/check-fuzz.sh [seconds per target, default 60]
# A failing input is kept as build-fuzz/artifacts/crash-* (rerun it with
# build-fuzz/tests/fuzz/<target> <file>).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="$root/build-fuzz"
"$root/tools/install-deps.sh"

# Engine-only configuration: the fuzzers need no desktop libraries, tests or benchmarks.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTEMPLATE_FUZZ=ON -DTEMPLATE_DESKTOP=OFF -DTEMPLATE_WITH_CUDA=OFF -DTEMPLATE_BUILD_TESTS=OFF \
  -DTEMPLATE_BUILD_BENCH=OFF >/dev/null
targets=(options camera_file)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

artifacts="$build/artifacts"
mkdir -p "$artifacts"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for target in "${targets[@]}"; do
  # New inputs go to a scratch corpus (the first folder); the seeds stay as they are.
  mkdir -p "$work/$target"
  if "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" "$work/$target" "$root/tests/fuzz/corpus/$target" \
      >"$work/$target.log" 2>&1; then
    echo "fuzz_$target: $(grep -m1 -o 'Done [0-9]* runs in [0-9]* second(s)' "$work/$target.log"), no failure"
  else
    echo "fuzz_$target: FAILED"
    grep -v -e '^"' -e '^###' "$work/$target.log" | tail -40
    status=1
  fi
done
exit $status
