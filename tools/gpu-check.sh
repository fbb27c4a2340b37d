#!/usr/bin/env bash
# On a machine with an NVIDIA GPU: build the CUDA variant, run the tests (which
# then compare CUDA and CPU frames too), render stills of a few moments with both
# backends, compare them, and time the CUDA frame.
# Usage: tools/gpu-check.sh [build-folder]   (the packages of tools/install-deps.sh must be present)
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-gpu}"
out="${OUT:-$build/gpu-check}"
mkdir -p "$out"
export CUDACXX="${CUDACXX:-$(command -v nvcc || echo /usr/local/cuda/bin/nvcc)}"
nvidia-smi --query-gpu=name,driver_version --format=csv,noheader || echo "nvidia-smi: not available"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTEMPLATE_WITH_CUDA=ON >"$out/configure.log" 2>&1 &&
  cmake --build "$build" -j"$(nproc)" >"$out/build.log" 2>&1 || { echo "BUILD FAILED"; tail -30 "$out/build.log"; exit 1; }
grep -q "CUDA backend ON" "$out/configure.log" && echo "build: CUDA variant" || echo "build: WARNING, no CUDA in this build"

echo "== tests"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure >"$out/tests.log" 2>&1
tail -3 "$out/tests.log"

echo "== stills, CUDA against CPU"
status=0
for t in 5 30 60 97; do
  for b in cuda cpu; do
    "$build/template" --still "$t" --backend "$b" --out "$out/still_${t}_$b.png" >"$out/still_${t}_$b.log" 2>&1 ||
      { echo "t=$t $b: FAILED"; cat "$out/still_${t}_$b.log"; status=1; }
  done
  if command -v compare >/dev/null; then
    # Mean absolute error over all channels, 0..1; float rounding keeps it tiny.
    mae=$(compare -metric MAE "$out/still_${t}_cuda.png" "$out/still_${t}_cpu.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/')
    echo "t=$t: mean absolute difference $mae"
  else
    cmp -s "$out/still_${t}_cuda.png" "$out/still_${t}_cpu.png" && echo "t=$t: identical" || echo "t=$t: differ (no ImageMagick to measure how much)"
  fi
done
grep -h "backend" "$out"/still_60_cuda.log

echo "== CUDA frame time"
TEMPLATE_BENCH_BACKEND=cuda "$build/bench/render_bench" --benchmark_min_time=2 2>/dev/null | grep -E "^render|^Bench"
exit $status
