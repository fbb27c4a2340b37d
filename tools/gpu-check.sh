#!/usr/bin/env bash
# On a machine with an NVIDIA GPU: build the engine with CUDA, render moments of
# the show with the CUDA and the CPU backend (bench/engine_check.cpp), compare and
# time them, and run one CUDA frame under compute-sanitizer's memcheck.
# A bare machine is enough (nvcc, CMake, a C++ compiler): without the desktop
# packages (SDL, SDL_mixer, FreeImage) it builds the engine alone, and the engine
# tests when GoogleTest is there; with them it builds and tests the whole program too.
# Usage: tools/gpu-check.sh [build-folder]   (GPU_CHECK_DESKTOP=OFF: the engine alone even where the desktop builds)
# Report: summary.txt and the CPU and CUDA frames (PPM) of the moment that differs
# most, in $OUT when set, else in <build-folder>/gpu-check. Exit 0 when every check passed.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-gpu}"
out="${OUT:-$build/gpu-check}"
logs="$build/gpu-check-logs"  # build logs and every frame; only the report goes to $out
mkdir -p "$out" "$logs"
jobs="$(nproc)"
started=$SECONDS
status=0
fail() { echo "FAILED: $*"; status=1; }
step() { echo; echo "== $* ($((SECONDS - started)) s)"; }

check() {
  export PATH="$PATH:/usr/local/cuda/bin"
  export CUDACXX="${CUDACXX:-$(command -v nvcc || echo /usr/local/cuda/bin/nvcc)}"
  echo "gpu-check of $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo "an unknown commit") on $(hostname), $jobs cores"
  nvidia-smi --query-gpu=name,compute_cap,driver_version,memory.total --format=csv,noheader 2>/dev/null ||
    echo "nvidia-smi: not available"
  "$CUDACXX" --version | tail -1

  desktop="${GPU_CHECK_DESKTOP:-ON}"
  if ! pkg-config --exists sdl SDL_mixer 2>/dev/null; then desktop=OFF; fi
  if [ ! -e /usr/include/FreeImage.h ] && [ ! -e /usr/local/include/FreeImage.h ]; then desktop=OFF; fi
  step "configure (desktop $desktop)"
  generator=()
  if [ ! -e "$build/CMakeCache.txt" ] && command -v ninja >/dev/null; then generator=(-G Ninja); fi
  if ! cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTEMPLATE_WITH_CUDA=ON \
    -DTEMPLATE_DESKTOP="$desktop" -DTEMPLATE_BUILD_BENCH=ON >"$logs/configure.log" 2>&1; then
    tail -30 "$logs/configure.log"
    fail "configure"
    exit 1
  fi
  grep "Template:" "$logs/configure.log"
  if ! grep -q "CUDA backend ON" "$logs/configure.log"; then
    fail "no CUDA in this build (is nvcc at $CUDACXX?)"
    exit 1
  fi
  tests=OFF
  grep -q "GoogleTest not found" "$logs/configure.log" || tests=ON

  step "build (tests $tests)"
  targets=()
  if [ "$desktop" = OFF ]; then
    targets=(--target engine-check engine-check-64)
    [ "$tests" = ON ] && targets+=(template_engine_tests template_engine_tests-64)
  fi
  if ! cmake --build "$build" -j"$jobs" "${targets[@]}" >"$logs/build.log" 2>&1; then
    grep -E "error|FAILED" "$logs/build.log" | head -30
    fail "build"
    exit 1
  fi
  echo "built in $((SECONDS - started)) s"

  if [ "$tests" = ON ]; then
    step "tests"
    timeout 480 ctest --test-dir "$build" -j"$jobs" --output-on-failure >"$logs/tests.log" 2>&1 || fail "tests"
    grep -E "tests passed|tests failed|\(Failed\)|\(Timeout\)" "$logs/tests.log"
  fi

  step "CUDA against CPU, 32 samples per pixel"
  timeout 300 "$build/bench/engine-check" --ppm "$logs/frames" >"$logs/engine-check.log" 2>&1
  code=$?
  grep -v "^sampler size" "$logs/engine-check.log"
  [ $code -eq 0 ] || fail "engine-check exit code $code"
  # The moment with the lowest PSNR (a failed CUDA frame counts as the lowest).
  worst=$(awk '$1 ~ /^[0-9.]+$/ && $2 ~ /^[0-9]+$/ {
    p = ($6 == "inf") ? 1e9 : ($6 == "-") ? -1 : $6 + 0
    if (!seen || p < best) { best = p; moment = $1; seen = 1 } } END { print moment }' "$logs/engine-check.log")
  for backend in cpu cuda; do
    [ -n "$worst" ] && [ -e "$logs/frames/${backend}_$worst.ppm" ] && cp "$logs/frames/${backend}_$worst.ppm" "$out/"
  done
  [ -n "$worst" ] && echo "frames of the moment that differs most ($worst s) in $out"

  step "CUDA against CPU, 64 samples per pixel"
  timeout 300 "$build/bench/engine-check-64" --runs 10 >"$logs/engine-check-64.log" 2>&1
  code=$?
  grep -v "^sampler size" "$logs/engine-check-64.log"
  [ $code -eq 0 ] || fail "engine-check-64 exit code $code"

  step "memcheck of one CUDA frame"
  sanitizer="$(command -v compute-sanitizer || echo /usr/local/cuda/bin/compute-sanitizer)"
  if [ -x "$sanitizer" ]; then
    timeout 300 "$sanitizer" --tool memcheck --error-exitcode 9 "$build/bench/engine-check" --moments 13 --runs 1 \
      --cpu-runs 1 >"$logs/memcheck.log" 2>&1
    code=$?
    grep -E "^=========|engine-check:" "$logs/memcheck.log" | head -40
    [ $code -eq 0 ] || fail "memcheck exit code $code"
  else
    echo "compute-sanitizer: not installed, skipped"
  fi

  echo
  if [ $status -eq 0 ]; then echo "gpu-check: PASSED in $((SECONDS - started)) s"; else echo "gpu-check: FAILED in $((SECONDS - started)) s"; fi
  exit $status
}

# Everything said goes to the console and to the report.
check 2>&1 | tee "$out/summary.txt"
exit "${PIPESTATUS[0]}"
